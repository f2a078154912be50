// The engine: opening, provenance, supported range, time kernels and the time
// operations every request goes through.
#include "engine/engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "engine/testing/de421_engines.h"
#include "spk/testing/spk_writer.h"
#include "time/testing/temp_dir.h"

namespace ephemeris {
namespace {

#include "engine/testdata/engine_reference.inc"

using testing::c04_table;
using testing::open_de421;

const std::string& kSha = testing::kAnySha256;

LeapSecondKernel leap_seconds() { return testing::test_leap_seconds(); }
EarthOrientationTable eop_table() { return c04_table(); }

// A kernel whose only segment is `target` relative to `center`, a constant
// offset over the whole of DE421's span.
testing::KernelImage offset_kernel(std::int32_t target, std::int32_t center) {
  testing::KernelSpec spec;
  spec.segments.push_back(testing::linear_segment(target, center, -3.2e9, 6.4e9, 1, {1000.0, 2000.0, 3000.0},
                                                  {0.0, 0.0, 0.0}));
  return testing::build_kernel(spec);
}

using Engine = testing::RealDataTest;

TEST_F(Engine, OpensDe421WithProvenanceAndRange) {
  auto engine = SpkEphemeris::open(EPHEMERIS_DE421_PATH, std::string(32, 'A') + std::string(32, '0'));
  ASSERT_TRUE(engine.has_value()) << message(engine.error());
  const auto& m = engine->metadata();
  EXPECT_EQ(m.engine_version, "0.1.0");
  EXPECT_EQ(m.kernel_name, "de421.bsp");
  EXPECT_EQ(m.kernel_sha256, std::string(32, 'a') + std::string(32, '0'));
  EXPECT_EQ(m.coordinate_frame, "ICRF/J2000");
  EXPECT_TRUE(m.additional_kernels.empty());
  EXPECT_EQ(engine->supported_range().start_julian_day, 2414864.5);
  EXPECT_EQ(engine->supported_range().end_julian_day, 2471184.5);
  EXPECT_EQ(engine->supported_range().time_scale, TimeScale::Tdb);
}

TEST_F(Engine, RejectsPathsChecksumsAndFilesInOrder) {
  const auto error_of = [](std::string_view path, std::string_view sha) {
    auto engine = SpkEphemeris::open(path, sha);
    return engine ? std::string("opened") : message(engine.error());
  };
  const std::string bad_sha = "kernel SHA-256 must contain exactly 64 hexadecimal characters";
  EXPECT_EQ(error_of(EPHEMERIS_DE421_PATH, std::string(63, 'a')), bad_sha);
  EXPECT_EQ(error_of(EPHEMERIS_DE421_PATH, std::string(65, 'a')), bad_sha);
  EXPECT_EQ(error_of(EPHEMERIS_DE421_PATH, std::string(63, 'a') + "g"), bad_sha);
  EXPECT_EQ(error_of("/", kSha), "kernel path has no UTF-8 filename");
  EXPECT_EQ(error_of("data/..", "x"), "kernel path has no UTF-8 filename");
  // The file is opened before the checksum is looked at.
  EXPECT_EQ(error_of("/nonexistent/de421.bsp", "x"),
            "failed to read SPK kernel: No such file or directory (os error 2)");
  // A trailing separator does not hide the file name, so the open itself fails.
  EXPECT_NE(error_of(std::string(EPHEMERIS_DE421_PATH) + "/", kSha), "kernel path has no UTF-8 filename");
}

TEST_F(Engine, TtWithoutLeapSecondsUsesThreeIterations) {
  const SpkEphemeris engine = open_de421();
  const double t = engine.tdb_seconds({2451545.0, TimeScale::Tt}).value();
  EXPECT_NEAR(t, -7.27e-5, 1e-7);
  EXPECT_EQ(engine.tdb_seconds({2451545.0, TimeScale::Tdb}).value(), 0.0);
  EXPECT_EQ(engine.time_kernels().tt_julian_day({2451545.25, TimeScale::Tdb}).value(), 2451545.25);
  EXPECT_TRUE(std::isnan(engine.time_kernels().tt_julian_day({std::nan(""), TimeScale::Tt}).value()));
}

TEST_F(Engine, TimeConversionErrorsWithoutLeapSeconds) {
  const SpkEphemeris engine = open_de421();
  EXPECT_EQ(message(engine.tdb_seconds({std::nan(""), TimeScale::Utc}).error()), "Julian day must be finite");
  EXPECT_EQ(message(engine.tdb_seconds({2451545.0, TimeScale::Utc}).error()),
            "conversion from Utc to TDB is not implemented");
  EXPECT_EQ(message(engine.time_kernels().tt_julian_day({2451545.0, TimeScale::Ut1}).error()),
            "conversion from Ut1 to TDB is not implemented");
  EXPECT_EQ(message(engine.time_kernels().earth_rotation_epochs({2451545.0, TimeScale::Utc}).error()),
            "topocentric origins require a leap-second kernel; attach one with "
            "SpkEphemeris::with_leap_second_kernel");
}

TEST_F(Engine, RangeBoundsAreInclusiveAndReportTheCallersDay) {
  const SpkEphemeris engine = open_de421();
  EXPECT_TRUE(engine.tdb_seconds({2414864.5, TimeScale::Tdb}).has_value());
  EXPECT_TRUE(engine.tdb_seconds({2471184.5, TimeScale::Tdb}).has_value());
  const double outside = std::nextafter(2414864.5, 0.0);
  const auto error = engine.tdb_seconds({outside, TimeScale::Tdb}).error();
  EXPECT_EQ(error.kind(), EphemerisError::Kind::OutOfRange);
  EXPECT_EQ(message(error), "Julian day 2414864.4999999995 is outside kernel range 2414864.5..2471184.5 Tdb");
  EXPECT_EQ(message(engine.tdb_seconds({2500000.0, TimeScale::Tt}).error()),
            "Julian day 2500000 is outside kernel range 2414864.5..2471184.5 Tdb");
}

TEST_F(Engine, LeapSecondKernelWithoutTableServesAllButUt1) {
  const SpkEphemeris engine = open_de421().with_leap_second_kernel(leap_seconds());
  EXPECT_EQ(message(engine.tdb_seconds({2451545.0, TimeScale::Ut1}).error()),
            "UT1 requires an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop");
  // UTC 2000-01-01 12:00 is TT 64.184 s later, TDB a further ~ -0.0000727 s.
  EXPECT_NEAR(engine.tdb_seconds({2451545.0, TimeScale::Utc}).value(), 64.184 - 7.27e-5, 1e-5);
  EXPECT_TRUE(engine.tdb_seconds({2451545.0, TimeScale::Tt}).has_value());
  EXPECT_EQ(message(engine.time_kernels().earth_rotation_epochs({2451545.0, TimeScale::Utc}).error()),
            "topocentric origins require an Earth orientation table (DUT1); attach one with SpkEphemeris::with_eop");
}

TEST_F(Engine, TimeKernelFailuresBecomeTimeConversionErrors) {
  const SpkEphemeris engine = open_de421().with_time_kernels(leap_seconds(), eop_table());
  // UTC before the first leap second is not extrapolated.
  const Instant early{2440000.5, TimeScale::Utc};
  const auto error = engine.tdb_seconds(early).error();
  EXPECT_EQ(error.kind(), EphemerisError::Kind::TimeConversion);
  EXPECT_EQ(message(error),
            message(engine.time_kernels().leap_second_kernel()->tdb_seconds(TimeScale::Utc, 2440000.5).error()));
  // A UT1 instant after the end of the table.
  const auto late = engine.observer_gcrs_state({0, 0, 0}, {2470000.5, TimeScale::Ut1}).error();
  EXPECT_EQ(late.kind(), EphemerisError::Kind::TimeConversion);
  EXPECT_FALSE(message(late).empty());
}

TEST_F(Engine, SiteStateAgreesWithErfa) {
  const SpkEphemeris engine = open_de421().with_time_kernels(leap_seconds(), eop_table());
  // Both sides interpolate the same table linearly; what remains is rounding
  // and the two complementary terms of the equation of the equinoxes that
  // the engine leaves out (40 microarcseconds, about 1 mm at the surface).
  constexpr double kToleranceKm = 1e-3;
  double worst_km = 0.0, worst_km_per_s = 0.0;
  for (const auto& ref : kErfaSiteStates) {
    const GeodeticObserver site{ref.longitude_deg, ref.latitude_deg, ref.height_m};
    const auto state = engine.observer_gcrs_state(site, {ref.utc_julian_day, TimeScale::Utc});
    ASSERT_TRUE(state.has_value()) << message(state.error());
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(state->position_km[k], ref.state[k], kToleranceKm) << "UTC " << ref.utc_julian_day;
      EXPECT_NEAR(state->velocity_km_per_s[k], ref.state[k + 3], 1e-9) << "UTC " << ref.utc_julian_day;
      worst_km = std::max(worst_km, std::fabs(state->position_km[k] - ref.state[k]));
      worst_km_per_s = std::max(worst_km_per_s, std::fabs(state->velocity_km_per_s[k] - ref.state[k + 3]));
    }
  }
  std::printf("largest difference from ERFA: %.3g km, %.3g km/s\n", worst_km, worst_km_per_s);
}

TEST_F(Engine, AdditionalKernelFillsGapsAndKeepsPrecedence) {
  testing::TempFile jupiter(offset_kernel(599, 5).bytes);
  testing::TempFile mars(offset_kernel(499, 4).bytes);
  SpkEphemeris engine = open_de421();
  const Instant j2000{2451545.0, TimeScale::Tdb};
  const PositionOptions geometric{Origin::barycentric(), CoordinateSystem::Equatorial, ReferenceEpoch::J2000};
  EXPECT_EQ(message(engine.position(Body::Jupiter, j2000, geometric).error()),
            "no SPK segment continues the center chain from target 599 at TDB epoch 0");
  const Position mars_before = engine.position(Body::Mars, j2000, geometric).value();

  auto extended = SpkEphemeris::with_additional_kernel(std::move(engine), SpkKernel::open(jupiter.path()).value(),
                                                       "jupiter.bsp", std::string(64, 'B'));
  ASSERT_TRUE(extended.has_value()) << message(extended.error());
  extended = SpkEphemeris::with_additional_kernel(std::move(*extended), SpkKernel::open(mars.path()).value(),
                                                  "mars.bsp", kSha);
  ASSERT_TRUE(extended.has_value());
  EXPECT_TRUE(extended->position(Body::Jupiter, j2000, geometric).has_value());
  const Position mars_after = extended->position(Body::Mars, j2000, geometric).value();
  EXPECT_EQ(mars_after.longitude_deg, mars_before.longitude_deg);
  EXPECT_EQ(mars_after.distance_au, mars_before.distance_au);
  const auto& added = extended->metadata().additional_kernels;
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(added[0], (KernelProvenance{"jupiter.bsp", std::string(64, 'b')}));
  EXPECT_EQ(added[1].kernel_name, "mars.bsp");
  EXPECT_EQ(extended->supported_range().start_julian_day, 2414864.5);
}

TEST_F(Engine, AdditionalKernelWithBrokenChainIsRejected) {
  testing::KernelImage image = offset_kernel(599, 5);
  image.put_f64(testing::KernelImage::control_offset(image.summary_records[0], 0), 2.5);
  testing::TempFile broken(image.bytes);
  auto result = SpkEphemeris::with_additional_kernel(open_de421(), SpkKernel::open(broken.path()).value(),
                                                     "broken.bsp", kSha);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(message(result.error()),
            "invalid DAF summary chain: summary control word is not a non-negative integer");
  auto bad_sum = SpkEphemeris::with_additional_kernel(open_de421(), SpkKernel::open(broken.path()).value(),
                                                      "broken.bsp", "xyz");
  EXPECT_EQ(message(bad_sum.error()), "kernel SHA-256 must contain exactly 64 hexadecimal characters");
}

TEST_F(Engine, NestedBorrowIsRefused) {
  const SpkEphemeris engine = open_de421();
  auto outer = engine.borrow_kernels();
  ASSERT_TRUE(outer.has_value());
  EXPECT_FALSE(engine.borrow_kernels().has_value());
  EXPECT_FALSE(engine.position(Body::Sun, {2451545.0, TimeScale::Tdb}, PositionOptions{}).has_value());
}

}  // namespace
}  // namespace ephemeris
