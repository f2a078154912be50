// Swiss Ephemeris and high-precision house cusps for the house tests (see
// tools/make_houses_reference.py, which writes the .inc file).
#pragma once

#include <array>

namespace ephemeris::testdata {

struct SwissHousesCase {
  double ramc_deg, latitude_deg, obliquity_deg;
  double ascendant_deg, midheaven_deg;
  bool placidus_defined;  // false where Swiss Ephemeris refuses Placidus
  std::array<double, 12> placidus, campanus, equal, whole_sign;
  std::array<double, 4> exact_placidus;  // cusps 11, 12, 2, 3 to 40 digits (when defined)
};

#include "core/testdata/swisseph_houses_reference.inc"

}  // namespace ephemeris::testdata
