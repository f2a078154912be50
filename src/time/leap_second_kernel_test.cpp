#include "time/leap_second_kernel.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "time/testing/temp_dir.h"

namespace ephemeris {
namespace {

// The kernel written by tools/leap_second_kernel.py from the published table.
constexpr std::string_view kKernelText =
#include "time/testdata/leap_second_kernel.inc"
    ;

const std::string kSha256 = std::string(64, 'a');
const std::string kMixedCaseSha256 = "0123456789ABCDEFabcdef" + std::string(42, 'F');

// A data section holding the given assignments after the four DELTET scalars
// that each test does not replace.
std::string kernel_text(std::string_view delta_t_a, std::string_view k, std::string_view eb, std::string_view m,
                        std::string_view delta_at) {
  std::string text = "\\begindata\nOTHER = 1\n";
  for (auto [name, value] : {std::pair{"DELTET/DELTA_T_A", delta_t_a}, std::pair{"DELTET/K", k},
                             std::pair{"DELTET/EB", eb}, std::pair{"DELTET/M", m},
                             std::pair{"DELTET/DELTA_AT", delta_at}}) {
    if (value.empty()) continue;
    text += std::string(name) + " = " + std::string(value) + "\n";
  }
  return text + "\\begintext\n";
}

constexpr std::string_view kM = "( 6.239996D0 1.99096871D-7 )";
constexpr std::string_view kDeltaAt = "( 10, @1972-JAN-1 11, @1972-JUL-1 )";

std::string load_error(const std::string& text) {
  const auto kernel = LeapSecondKernel::from_text(text, "test.tls", kSha256);
  return kernel ? std::string("loaded") : message(kernel.error());
}

TEST(LeapSecondKernel, LoadsThePublishedTable) {
  testing::TempDir dir;
  const auto kernel = LeapSecondKernel::open(dir.write("naif.tls", kKernelText), kMixedCaseSha256);
  ASSERT_TRUE(kernel.has_value()) << message(kernel.error());
  EXPECT_EQ(kernel->file_name(), "naif.tls");
  EXPECT_EQ(kernel->sha256(), "0123456789abcdefabcdef" + std::string(42, 'f'));
  EXPECT_EQ(kernel->delta_t_a(), 32.184);
  EXPECT_EQ(kernel->k(), 1.657e-3);
  EXPECT_EQ(kernel->eb(), 1.671e-2);
  EXPECT_EQ(kernel->m0(), 6.239996);
  EXPECT_EQ(kernel->m1(), 1.99096871e-7);
  ASSERT_EQ(kernel->entries().size(), 28u);
  EXPECT_EQ(kernel->entries().front(), (LeapSecondEntry{10.0, 2441317.5}));
  EXPECT_EQ(kernel->entries()[1], (LeapSecondEntry{11.0, 2441499.5}));
  EXPECT_EQ(kernel->entries().back(), (LeapSecondEntry{37.0, 2457754.5}));
}

TEST(LeapSecondKernel, FromTextMatchesOpen) {
  testing::TempDir dir;
  const auto from_file = LeapSecondKernel::open(dir.write("k.tls", kKernelText), kSha256);
  const auto from_text = LeapSecondKernel::from_text(kKernelText, "k.tls", kSha256);
  ASSERT_TRUE(from_file.has_value() && from_text.has_value());
  EXPECT_TRUE(std::ranges::equal(from_file->entries(), from_text->entries()));
  EXPECT_EQ(from_file->m1(), from_text->m1());
}

TEST(LeapSecondKernel, CommentAreaIsNeverRead) {
  // The fixture's comment area assigns DELTET/K = 99.
  ASSERT_NE(kKernelText.find("DELTET/K = 99"), std::string_view::npos);
  EXPECT_EQ(LeapSecondKernel::from_text(kKernelText, "k.tls", kSha256)->k(), 1.657e-3);
}

TEST(LeapSecondKernel, CarriageReturnLineEndsLoad) {
  std::string crlf;
  for (char c : kKernelText) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const auto kernel = LeapSecondKernel::from_text(crlf, "k.tls", kSha256);
  ASSERT_TRUE(kernel.has_value()) << message(kernel.error());
  EXPECT_EQ(kernel->entries().size(), 28u);
}

TEST(LeapSecondKernelOpen, PathWithoutUtf8FileName) {
  for (const char* path : {"", "/", "/tmp/..", "/tmp/\xFF.tls"}) {
    const auto kernel = LeapSecondKernel::open(path, kSha256);
    ASSERT_FALSE(kernel.has_value());
    EXPECT_EQ(message(kernel.error()), "leap-second kernel path has no UTF-8 filename") << path;
  }
}

TEST(LeapSecondKernelOpen, ReadFailuresComeBeforeTheChecksum) {
  testing::TempDir dir;
  const auto missing = LeapSecondKernel::open((dir.path() / "none.tls").string(), "not a checksum");
  EXPECT_EQ(message(missing.error()), "failed to read leap-second kernel: No such file or directory");
  const auto directory = LeapSecondKernel::open(dir.path().string(), kSha256);
  EXPECT_EQ(message(directory.error()), "failed to read leap-second kernel: Is a directory");
  const auto not_utf8 = LeapSecondKernel::open(dir.write("bad.tls", "\\begindata\n\xFF\n"), "x");
  EXPECT_EQ(message(not_utf8.error()), "failed to read leap-second kernel: stream did not contain valid UTF-8");
  EXPECT_EQ(LeapSecondKernel::from_text("\xC0\x80", "k.tls", kSha256).error().kind, LskError::Kind::Io);
}

TEST(LeapSecondKernelOpen, ChecksumMustBe64HexCharacters) {
  testing::TempDir dir;
  const std::string path = dir.write("k.tls", kKernelText);
  for (const std::string& sha : {std::string(63, 'a'), std::string(65, 'a'), std::string(63, 'a') + "g",
                                 std::string(), std::string(62, 'a') + "\xC3\xA9"}) {
    const auto kernel = LeapSecondKernel::open(path, sha);
    ASSERT_FALSE(kernel.has_value());
    EXPECT_EQ(message(kernel.error()), "leap-second kernel SHA-256 must contain exactly 64 hexadecimal characters");
  }
  // The checksum is checked before the text is parsed.
  EXPECT_EQ(LeapSecondKernel::from_text("no data", "k.tls", "abc").error(), LskError::invalid_sha256());
}

TEST(LeapSecondKernelOpen, NoDataSection) {
  EXPECT_EQ(load_error("DELTET/K = 1\n"), "leap-second kernel has no \\begindata section");
  EXPECT_EQ(load_error("\\begindata\n\n   \n\\begintext\n"), "leap-second kernel has no \\begindata section");
}

TEST(LeapSecondKernelOpen, RequiredKeysInOrder) {
  EXPECT_EQ(load_error(kernel_text("", "", "", "", "")),
            "leap-second kernel is missing required keyword DELTET/DELTA_T_A");
  EXPECT_EQ(load_error(kernel_text("32.184", "", "", "", "")),
            "leap-second kernel is missing required keyword DELTET/K");
  EXPECT_EQ(load_error(kernel_text("32.184", "1.657D-3", "", "", "")),
            "leap-second kernel is missing required keyword DELTET/EB");
  EXPECT_EQ(load_error(kernel_text("32.184", "1.657D-3", "1.671D-2", "", "")),
            "leap-second kernel is missing required keyword DELTET/M");
  EXPECT_EQ(load_error(kernel_text("32.184", "1.657D-3", "1.671D-2", kM, "")),
            "leap-second kernel is missing required keyword DELTET/DELTA_AT");
  EXPECT_EQ(load_error(kernel_text("32.184", "1.657D-3", "1.671D-2", kM, kDeltaAt)), "loaded");
}

TEST(LeapSecondKernelOpen, ScalarValues) {
  EXPECT_EQ(load_error(kernel_text("( 32.184 1 )", "1", "1", kM, kDeltaAt)),
            "invalid value for DELTET/DELTA_T_A: expected a single scalar value");
  EXPECT_EQ(load_error(kernel_text("32.184", "1.657Q-3", "1", kM, kDeltaAt)),
            "invalid value for DELTET/K: value is not a valid number");
  EXPECT_EQ(load_error(kernel_text("32.184", "1", "( )", kM, kDeltaAt)),
            "invalid value for DELTET/EB: expected a single scalar value");
}

TEST(LeapSecondKernelOpen, MeanAnomalyValues) {
  EXPECT_EQ(load_error(kernel_text("32.184", "1", "1", "( 6.239996D0 1.99096871D-7 3 )", kDeltaAt)),
            "invalid value for DELTET/M: expected exactly two values (M0 and M1)");
  EXPECT_EQ(load_error(kernel_text("32.184", "1", "1", "( 6.239996D0 )", kDeltaAt)),
            "invalid value for DELTET/M: expected exactly two values (M0 and M1)");
  EXPECT_EQ(load_error(kernel_text("32.184", "1", "1", "( M0 1.99096871D-7 )", kDeltaAt)),
            "invalid value for DELTET/M: M0 is not a valid number");
  EXPECT_EQ(load_error(kernel_text("32.184", "1", "1", "( 6.239996D0 1.9909.6871D-7 )", kDeltaAt)),
            "invalid value for DELTET/M: M1 is not a valid number");
}

TEST(LeapSecondKernelOpen, DeltaAtValues) {
  const auto with_delta_at = [](std::string_view delta_at) {
    return load_error(kernel_text("32.184", "1", "1", kM, delta_at));
  };
  EXPECT_EQ(with_delta_at("( 10, @1972-JAN-1 11 )"),
            "invalid value for DELTET/DELTA_AT: expected a non-empty sequence of (delta, date) pairs");
  EXPECT_EQ(with_delta_at("( )"),
            "invalid value for DELTET/DELTA_AT: expected a non-empty sequence of (delta, date) pairs");
  EXPECT_EQ(with_delta_at("( 10, @1972-JAN-1 ten, @1972-JUL-1 )"),
            "invalid value for DELTET/DELTA_AT: delta value is not a valid number");
  EXPECT_EQ(with_delta_at("( 10, @1972-JAN-1 11, 1972-JUL-1 )"), "invalid NAIF date literal \"1972-JUL-1\"");
  EXPECT_EQ(with_delta_at("( 10, @1972-JAN-1 11, @1972-JAN-1 )"),
            "DELTET/DELTA_AT entries must be strictly ascending in effective date");
  EXPECT_EQ(with_delta_at("( 11, @1972-JUL-1 10, @1972-JAN-1 )"),
            "DELTET/DELTA_AT entries must be strictly ascending in effective date");
  // Pairs are read in file order: a bad date before a bad order is reported first.
  EXPECT_EQ(with_delta_at("( 11, @1972-JUL-1 10, @1972-JAN-1 12, @1973-JAN-0 )"),
            "invalid NAIF date literal \"@1973-JAN-0\"");
  EXPECT_EQ(with_delta_at("( 10, @1972-JAN-1 )"), "loaded");
}

}  // namespace
}  // namespace ephemeris
