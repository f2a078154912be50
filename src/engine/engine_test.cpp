// The engine: opening, provenance, supported range, additional kernels, the
// observer state and the kernel borrow.
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

TEST_F(Engine, OpensWithProvenanceAndRangeAndRefusesInOrder) {
  const auto engine = SpkEphemeris::open(EPHEMERIS_DE421_PATH, std::string(32, 'A') + std::string(32, '0'));
  const auto& m = engine.value().metadata();
  EXPECT_EQ(std::tuple(m.engine_version, m.kernel_name, m.kernel_sha256, m.coordinate_frame, m.additional_kernels),
            std::tuple("0.1.0", "de421.bsp", std::string(32, 'a') + std::string(32, '0'), "ICRF/J2000",
                       std::vector<KernelProvenance>{}));
  const SupportedRange& range = engine->supported_range();
  EXPECT_EQ(std::tuple(range.start_julian_day, range.end_julian_day, range.time_scale),
            std::tuple(2414864.5, 2471184.5, TimeScale::Tdb));
  // The file name, then the file, then the checksum's form.
  EXPECT_EQ(outcome(SpkEphemeris::open("data/..", "x")), "kernel path has no UTF-8 filename");
  EXPECT_EQ(outcome(SpkEphemeris::open("/nonexistent/de421.bsp", "x")),
            "failed to read SPK kernel: No such file or directory (os error 2)");
  EXPECT_EQ(outcome(SpkEphemeris::open(EPHEMERIS_DE421_PATH, std::string(63, 'a') + "g")),
            "kernel SHA-256 must contain exactly 64 hexadecimal characters");
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

TEST_F(Engine, AdditionalKernelsComeAfterThePrimaryAndAreValidated) {
  // Mars and the Jupiter system at constant offsets over all of DE421.
  const auto kernel = [](std::int32_t target, std::int32_t center) {
    return testing::build_kernel({.segments = {testing::linear_segment(target, center, -3.2e9, 6.4e9, 1,
                                                                       {1000, 2000, 3000}, {0, 0, 0})}});
  };
  const Instant j2000{2451545.0, TimeScale::Tdb};
  const PositionOptions geometric{Origin::barycentric(), CoordinateSystem::Equatorial, ReferenceEpoch::J2000};
  auto engine = SpkEphemeris::with_additional_kernel(
      open_de421(), SpkKernel::from_bytes(kernel(499, 4).bytes).value(), "mars.bsp", std::string(64, 'B'));
  engine = SpkEphemeris::with_additional_kernel(std::move(engine.value()),
                                                SpkKernel::from_bytes(kernel(599, 5).bytes).value(), "jupiter.bsp",
                                                testing::kAnySha256);
  EXPECT_EQ(engine->position(Body::Mars, j2000, geometric)->longitude_deg,
            de421().position(Body::Mars, j2000, geometric)->longitude_deg);
  EXPECT_EQ(outcome(engine->position(Body::Jupiter, j2000, geometric)), "ok");
  EXPECT_EQ(engine->metadata().additional_kernels,
            (std::vector<KernelProvenance>{{"mars.bsp", std::string(64, 'b')}, {"jupiter.bsp", testing::kAnySha256}}));

  testing::KernelImage broken = kernel(599, 5);
  broken.put_f64(testing::KernelImage::control_offset(2, 0), 2.5);
  for (const std::string_view sha : {testing::kAnySha256, std::string("xyz")}) {
    EXPECT_EQ(outcome(SpkEphemeris::with_additional_kernel(open_de421(), SpkKernel::from_bytes(broken.bytes).value(),
                                                           "broken.bsp", sha)),
              sha.size() == 64 ? "invalid DAF summary chain: summary control word is not a non-negative integer"
                               : "kernel SHA-256 must contain exactly 64 hexadecimal characters");
  }
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
