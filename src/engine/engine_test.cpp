// The engine: provenance, supported range, the observer state and the kernel
// borrow. (The order of the opening checks and additional kernels are tested
// end to end through the module, tests/test_engine.py.)
#include "engine/engine.h"

#include <cmath>

#include <gtest/gtest.h>

#include "engine/testing/de421_engines.h"
#include "spk/testing/spk_writer.h"

namespace ephemeris {
namespace {

#include "engine/testdata/engine_reference.inc"

using testing::open_de421;
using testing::outcome;

class Engine : public testing::RealDataTest {};

TEST_F(Engine, OpensWithProvenanceAndRange) {
  const auto engine = SpkEphemeris::open(EPHEMERIS_DE421_PATH, std::string(32, 'A') + std::string(32, '0'));
  const auto& m = engine.value().metadata();
  EXPECT_EQ(std::tuple(m.engine_version, m.kernel_name, m.kernel_sha256, m.coordinate_frame, m.additional_kernels),
            std::tuple("0.1.0", "de421.bsp", std::string(32, 'a') + std::string(32, '0'), "ICRF/J2000",
                       std::vector<KernelProvenance>{}));
  const SupportedRange& range = engine->supported_range();
  EXPECT_EQ(std::tuple(range.start_julian_day, range.end_julian_day, range.time_scale),
            std::tuple(2414864.5, 2471184.5, TimeScale::Tdb));
}

TEST_F(Engine, RangeBoundsAreInclusiveAndReportTheCallersDay) {
  EXPECT_TRUE(de421().tdb_seconds({2414864.5, TimeScale::Tdb}) && de421().tdb_seconds({2471184.5, TimeScale::Tdb}));
  const auto error = de421().tdb_seconds({std::nextafter(2414864.5, 0.0), TimeScale::Tdb}).error();
  EXPECT_EQ(error.kind(), EphemerisError::Kind::OutOfRange);
  EXPECT_EQ(message(error), "Julian day 2414864.4999999995 is outside kernel range 2414864.5..2471184.5 Tdb");
  EXPECT_EQ(outcome(de421().tdb_seconds({2500000.0, TimeScale::Tt})),
            "Julian day 2500000 is outside kernel range 2414864.5..2471184.5 Tdb");
  // A time-kernel failure passes through as a time conversion error (UTC before the first leap second).
  const auto early = de421().tdb_seconds({2440000.5, TimeScale::Utc}).error();
  EXPECT_EQ(early.kind(), EphemerisError::Kind::TimeConversion);
  EXPECT_EQ(message(early), message(de421().time_kernels().tdb_seconds({2440000.5, TimeScale::Utc}).error()));
}

TEST_F(Engine, SiteStateAgreesWithErfa) {
  // Both sides interpolate the same table linearly; what remains is rounding
  // and the two complementary terms of the equation of the equinoxes that
  // the engine leaves out (40 microarcseconds, about 1 mm at the surface).
  for (const auto& ref : kErfaSiteStates) {
    const GeodeticObserver site{ref.longitude_deg, ref.latitude_deg, ref.height_m};
    const CartesianState state = de421().observer_gcrs_state(site, {ref.utc_julian_day, TimeScale::Utc}).value();
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(state.position_km[k], ref.state[k], 1e-3) << "UTC " << ref.utc_julian_day;
      EXPECT_NEAR(state.velocity_km_per_s[k], ref.state[k + 3], 1e-9) << "UTC " << ref.utc_julian_day;
    }
  }
  EXPECT_EQ(outcome(de421().observer_gcrs_state({0.0, 91.0, 0.0}, {2451545.0, TimeScale::Utc})),
            "geodetic latitude must be finite and within [-90, 90] degrees");
}

TEST_F(Engine, NestedBorrowIsRefused) {
  const SpkEphemeris engine = open_de421();
  auto outer = engine.borrow_kernels();
  ASSERT_TRUE(outer.has_value());
  EXPECT_EQ(outcome(engine.borrow_kernels()), "SPK kernel list is already borrowed");
  EXPECT_EQ(outcome(engine.position(Body::Sun, {2451545.0, TimeScale::Tdb}, PositionOptions{})),
            "SPK kernel list is already borrowed");
}

}  // namespace
}  // namespace ephemeris
