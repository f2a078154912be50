// Real data: the published leap-second table (the kernel of tools/leap_second_kernel.py, whose comment area assigns
// DELTET/K = 99), JPL DE421 and the IERS EOP 20 C04 table (paths from tools/test_data_paths.py as compile
// definitions). A test that needs them fails, naming what is missing, never passes by skipping. Test use only.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "time/leap_second_kernel.h"

namespace ephemeris::testing {

inline constexpr std::string_view kPublishedLeapSecondText =
#include "time/testdata/leap_second_kernel.inc"
    ;

inline const LeapSecondKernel& published_leap_seconds() {
  static const LeapSecondKernel kernel = *LeapSecondKernel::from_text(kPublishedLeapSecondText, "naif.tls",
                                                                      std::string(64, '0'));
  return kernel;
}

// Success when `path` names a readable regular file; otherwise a failure naming the data, the definition and the path.
inline ::testing::AssertionResult real_data_file(std::string_view data, std::string_view definition,
                                                 std::string_view path) {
  struct stat status {};
  const std::string name(path);
  const bool readable =
      ::stat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(name.c_str(), R_OK) == 0;
  if (!path.empty() && readable) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << data << " is missing: " << definition << " names \"" << path
                                       << "\", which is not a readable file (configure with "
                                       << "$(python3 tools/test_data_paths.py))";
}

inline ::testing::AssertionResult have_de421() {
  return real_data_file("JPL DE421", "EPHEMERIS_DE421_PATH", EPHEMERIS_DE421_PATH);
}

inline ::testing::AssertionResult have_eopc04() {
  return real_data_file("the IERS EOP 20 C04 table", "EPHEMERIS_EOPC04_PATH", EPHEMERIS_EOPC04_PATH);
}

}  // namespace ephemeris::testing
