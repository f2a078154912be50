// The TT -> TDB iterate skips its second step only where that step could not
// change the result: it equals the three plain fixed-point steps bit for bit.
#include <bit>
#include <cmath>
#include <cstdint>

#include <gtest/gtest.h>

#include "time/tdb_model.h"

namespace ephemeris {
namespace {

double three_plain_steps(double tt, const TdbModel& model) {
  const auto step = [&](double s) { return tt + tdb_offset_seconds(s, model); };
  return step(step(step(tt)));
}

TEST(TdbModel, ThirdIterateEqualsThreePlainStepsNearEveryRounding) {
  // The standard model, a strong one (offsets of seconds, fast anomaly) and one at the guards' edges.
  const TdbModel models[] = {kStandardTdbModel, {0.5, 0.9, 3.0, 1e-3}, {1.0, 1.0, -5.0, 1e-6}};
  std::uint64_t seed = 7;
  for (const TdbModel& model : models) {
    for (int i = 0; i < 300000; ++i) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      const double unit = static_cast<double>(seed >> 11) * 0x1.0p-52 - 1.0;  // [-1, 1)
      // Every binade from 2^-4 to 2^44 s, where an ulp is below, near and above the offsets' change.
      const double tt = std::ldexp(unit, static_cast<int>(seed % 49) - 3);
      ASSERT_EQ(std::bit_cast<std::uint64_t>(tdb_third_iterate(tt, model)),
                std::bit_cast<std::uint64_t>(three_plain_steps(tt, model)))
          << "tt " << tt << " k " << model.k;
    }
  }
}

}  // namespace
}  // namespace ephemeris
