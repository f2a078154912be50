// The published IERS EOP 20 C04 table, checked against its own numbers.
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "time/earth_orientation.h"
#include "time/testing/real_data.h"

namespace ephemeris {
namespace {

struct C04Row {
  double mjd, x, y, dut1;
};

// Reads the data rows of the file independently of the loader (stream
// extraction), keyed by MJD.
std::map<double, C04Row> read_rows_independently(const char* path, std::size_t& data_lines) {
  std::map<double, C04Row> rows;
  std::ifstream in(path);
  std::string line;
  data_lines = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    double year, month, day, hour;
    C04Row row{};
    fields >> year >> month >> day >> hour >> row.mjd >> row.x >> row.y >> row.dut1;
    if (!fields) continue;
    rows[row.mjd] = row;
    ++data_lines;
  }
  return rows;
}

class EopC04 : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testing::have_eopc04()) return;  // each test reports what is missing
    auto loaded = EarthOrientationTable::open(EPHEMERIS_EOPC04_PATH, std::string(64, 'd'));
    ASSERT_TRUE(loaded.has_value()) << message(loaded.error());
    table_ = new EarthOrientationTable(std::move(*loaded));
    rows_ = new std::map<double, C04Row>(read_rows_independently(EPHEMERIS_EOPC04_PATH, data_lines_));
  }
  static void TearDownTestSuite() {
    delete table_;
    delete rows_;
    table_ = nullptr;
    rows_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(testing::have_eopc04());
    ASSERT_NE(table_, nullptr);
  }
  static const C04Row& row(double mjd) { return rows_->at(mjd); }

  static inline EarthOrientationTable* table_ = nullptr;
  static inline std::map<double, C04Row>* rows_ = nullptr;
  static inline std::size_t data_lines_ = 0;
};

TEST_F(EopC04, LoadsEveryDataLine) {
  EXPECT_EQ(table_->file_name(), "eopc04.1962-now");
  EXPECT_EQ(table_->samples().size(), data_lines_);
  EXPECT_GT(data_lines_, 23000u);  // daily from 1962-01-01
  EXPECT_EQ(table_->samples().front().utc_jd, 37665.0 + 2400000.5);
  std::printf("%zu samples, UTC JD %.1f to %.1f\n", table_->samples().size(), table_->samples().front().utc_jd,
              table_->samples().back().utc_jd);
}

TEST_F(EopC04, SampleDatesGiveTheFileNumbers) {
  // 1962-01-01, 2000-01-01, the days around the 2017-01-01 leap second, the last day.
  for (double mjd : {37665.0, 51544.0, 57753.0, 57754.0, rows_->rbegin()->first}) {
    const auto sample = table_->interpolated_sample(mjd + 2400000.5);
    ASSERT_TRUE(sample.has_value()) << message(sample.error());
    EXPECT_EQ(sample->dut1, row(mjd).dut1) << "MJD " << mjd;
    EXPECT_EQ(sample->x_arcsec, row(mjd).x) << "MJD " << mjd;
    EXPECT_EQ(sample->y_arcsec, row(mjd).y) << "MJD " << mjd;
  }
}

TEST_F(EopC04, BetweenSamplesIsLinear) {
  // Including the jump of DUT1 by +1 s over the leap second of 2017-01-01
  // (MJD 57753 to 57754), which is interpolated across.
  for (double mjd : {41000.0, 51544.0, 57753.0, 60000.0}) {
    for (double f : {0.25, 0.5, 0.9}) {
      const double jd = mjd + 2400000.5 + f;
      const auto sample = table_->interpolated_sample(jd);
      ASSERT_TRUE(sample.has_value());
      const C04Row &a = row(mjd), &b = row(mjd + 1);
      f = jd - (mjd + 2400000.5);  // the fraction the date holds, to 5e-10
      const double wanted = a.dut1 + (b.dut1 - a.dut1) * f;
      // 1e-15 s: the loader's fused form and this plain form differ only in rounding.
      EXPECT_NEAR(sample->dut1, wanted, 1e-15) << "MJD " << mjd << " + " << f;
      EXPECT_NEAR(sample->x_arcsec, a.x + (b.x - a.x) * f, 1e-15);
      EXPECT_NEAR(sample->y_arcsec, a.y + (b.y - a.y) * f, 1e-15);
    }
  }
  const auto midway = table_->interpolated_sample(57753.5 + 2400000.5);
  std::printf("DUT1 on 2016-12-31 %.7f, 2017-01-01 %.7f, halfway %.7f s\n", row(57753).dut1, row(57754).dut1,
              midway->dut1);
}

TEST_F(EopC04, Ut1RoundTrip) {
  const double utc = 51544.5 + 2400000.5;  // 2000-01-01 12h UTC
  const double ut1 = utc + table_->interpolated_sample(utc)->dut1 / 86400.0;
  EXPECT_NEAR(*table_->utc_julian_day_from_ut1(ut1), utc, 1e-9);
  EXPECT_EQ(table_->interpolated_sample(table_->samples().back().utc_jd + 1.0).error().kind,
            EopError::Kind::OutsideCoverage);
}

}  // namespace
}  // namespace ephemeris
