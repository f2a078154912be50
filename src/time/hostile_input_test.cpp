// Untrusted tables: huge lines, huge counts and absurd values load or fail with their own errors, in time linear in
// the input (each row about a second at most). Oversized files are refused unread (see the text-file tests).
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "time/earth_orientation.h"
#include "time/leap_second_kernel.h"

namespace ephemeris {
namespace {

const std::string kSha256(64, 'e');

std::string kernel(std::string_view k, std::string_view delta_at) {
  return "\\begindata\nDELTET/DELTA_T_A = 32.184\nDELTET/K = " + std::string(k) +
         "\nDELTET/EB = 1.671D-2\nDELTET/M = ( 6.239996D0 1.99096871D-7 )\nDELTET/DELTA_AT = " + std::string(delta_at);
}
std::string lsk(const std::string& text) {
  const auto loaded = LeapSecondKernel::from_text(text, "k.tls", kSha256);
  return loaded ? "loaded " + std::to_string(loaded->entries().size()) : message(loaded.error());
}
std::string eop(const std::string& text) {
  const auto loaded = EarthOrientationTable::from_text(text, "eop", kSha256);
  return loaded ? "loaded " + std::to_string(loaded->samples().size()) : message(loaded.error());
}

TEST(HostileInput, LoadsOrFailsWithItsOwnError) {
  const std::string mb10(std::size_t{10} << 20, ' '), mb100(std::size_t{100} << 20, '7');
  std::string million = "(", lines;
  for (int i = 0; i < 1'000'000; ++i) million += " 10, @1972-JAN-" + std::to_string(i + 1) + "\n";
  for (int i = 0; i < 2'000'000; ++i) lines += "0 0 0 0 " + std::to_string(i) + " 0.1 0.2 0.3\n";
  EXPECT_EQ(lsk("#" + mb100 + "\n" + kernel("1.657D-3", "( 10, @1972-JAN-1 )")), "loaded 1");
  EXPECT_EQ(lsk(kernel("1", "( 10," + mb10 + "@1972-JAN-1" + mb10 + "11, @1972-FEB-0" + mb10 + ")")),
            "invalid NAIF date literal \"@1972-FEB-0\"");
  EXPECT_EQ(lsk(kernel("1", million + ")")), "loaded 1000000");
  EXPECT_EQ(eop(lines), "loaded 2000000");
  EXPECT_EQ(eop("0 0 0 0 " + mb100 + " 0 0 0\n"), "EOP epoch, DUT1, and polar motion must be finite");
  EXPECT_EQ(eop("0 0 0 0 60000 0 0 0 " + mb100 + "x\n"), "loaded 1");  // fields past the eighth are not read
  EXPECT_EQ(eop("0 0 0 0" + std::string(std::size_t{10} << 20, '\t') + "60000\n"), "invalid IERS EOP 20 C04 line 1");
  // Absurd constants load (a 100 MB numeral is infinite), and the conversions refuse their non-finite results.
  const auto infinite_k = LeapSecondKernel::from_text(kernel(mb100, "( 10, @1972-JAN-1 )"), "k.tls", kSha256).value();
  EXPECT_EQ(message(infinite_k.tdb_seconds(TimeScale::Tt, 2451545.0).error()), "Julian day must be finite");
  const auto absurd = LeapSecondKernel::from_text(
      kernel("nan", "( -inf, @1972-JAN-1 1e308, @2147483647-DEC-4294967295 )"), "k.tls", kSha256).value();
  const double jd = 2451545.0;
  for (const auto& result : {absurd.tdb_seconds(TimeScale::Utc, jd), absurd.tdb_seconds(TimeScale::Tt, jd),
                             absurd.tt_julian_day(TimeScale::Utc, jd), absurd.utc_julian_day(TimeScale::Tt, jd),
                             absurd.utc_julian_day(TimeScale::Tdb, jd)}) {
    EXPECT_EQ(message(result.error()), "Julian day must be finite");
  }
}

}  // namespace
}  // namespace ephemeris
