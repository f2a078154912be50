// Leap-second kernel text from the fuzzer: loading either succeeds or gives
// an LskError; a loaded kernel converts dates in every scale without fault.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "time/leap_second_kernel.h"
#include "time/text_kernel.h"

namespace {

constexpr std::string_view kSha256 = "0123456789abcdef0123456789abcdef0123456789ABCDEF0123456789ABCDEF";

void exercise(const ephemeris::LeapSecondKernel& kernel) {
  using ephemeris::TimeScale;
  const auto entries = kernel.entries();
  const double dates[] = {entries.front().effective_jd, entries.back().effective_jd,
                          entries.front().effective_jd - 1e-9, 2451545.0, 0.0, -1e300, 1e300};
  for (double jd : dates) {
    for (TimeScale scale : {TimeScale::Utc, TimeScale::Ut1, TimeScale::Tt, TimeScale::Tdb}) {
      const auto tdb = kernel.tdb_seconds(scale, jd);
      const auto tt = kernel.tt_julian_day(scale, jd);
      const auto utc = kernel.utc_julian_day(scale, jd);
      // A conversion that succeeds never hands back a non-finite date.
      if ((tdb && !std::isfinite(*tdb)) || (tt && !std::isfinite(*tt)) || (utc && !std::isfinite(*utc))) {
        __builtin_trap();
      }
      if (!tdb) (void)message(tdb.error());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto kernel = ephemeris::LeapSecondKernel::from_text(text, "fuzz.tls", kSha256);
  if (kernel) {
    exercise(*kernel);
  } else {
    (void)message(kernel.error());
  }
  // The token-level steps on the raw bytes, as a caller might use them.
  const auto date = ephemeris::text_kernel::parse_date_literal(text);
  if (!date) (void)message(date.error());
  (void)ephemeris::text_kernel::parse_number(text);
  (void)ephemeris::text_kernel::value_tokens(text);
  return 0;
}
