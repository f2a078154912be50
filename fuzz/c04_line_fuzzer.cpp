// One Earth orientation data line from the fuzzer, read alone in both formats
// (IERS EOP 20 C04 and Bulletin A) and as a table, then queried: every path
// ends in a sample or an EopError.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "time/earth_orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto sample = ephemeris::parse_c04_line(text, 1);
  if (sample) {
    if (!std::isfinite(sample->utc_jd) || !std::isfinite(sample->dut1)) __builtin_trap();
  } else {
    (void)message(sample.error());
  }
  const auto row = ephemeris::parse_bulletin_a_line(text, 1);
  if (row && row->sample && (!std::isfinite(row->sample->utc_jd) || !std::isfinite(row->sample->x_arcsec))) {
    __builtin_trap();
  }
  if (!row) (void)message(row.error());
  (void)ephemeris::has_bulletin_a_layout(text);

  const auto table = ephemeris::EarthOrientationTable::from_text(text, "fuzz.txt", std::string_view(
      "abcdefABCDEF0123456789abcdefABCDEF0123456789abcdefABCDEF01234567"));
  if (!table) {
    (void)message(table.error());
    return 0;
  }
  if (table->measured_samples().size() > table->samples().size()) __builtin_trap();
  const auto samples = table->samples();
  const double first = samples.front().utc_jd;
  const double last = samples.back().utc_jd;
  for (double jd : {first, last, first + (last - first) * 0.37, first - 1.0, last + 1.0, (first + last) / 2}) {
    const auto at = table->interpolated_sample(jd);
    if (at && !std::isfinite(at->dut1)) __builtin_trap();
    if (!at) (void)message(at.error());
    const auto utc = table->utc_julian_day_from_ut1(jd);
    if (utc && !std::isfinite(*utc)) __builtin_trap();
    (void)table->polar_motion_arcsec(jd);
  }
  return 0;
}
