#include "spk/kernel_source.h"

#include <dirent.h>

#include <array>
#include <cerrno>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spk/spk_kernel.h"
#include "spk/testing/spk_writer.h"
#include "time/testing/temp_dir.h"

namespace ephemeris {
namespace {

using testing::TempDir;
using testing::TempFile;

std::vector<std::byte> ramp(std::size_t size) {
  std::vector<std::byte> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::byte>(i % 251);
  return bytes;
}

int open_descriptor_count() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

enum class Form { Mapped, Plain, InMemory };

// The three forms must behave as the same byte stream.
class KernelSourceVariants : public ::testing::TestWithParam<Form> {
 protected:
  KernelSource open(const std::vector<std::byte>& bytes) {
    if (GetParam() == Form::InMemory) {
      KernelSource source = KernelSource::from_bytes(bytes);
      EXPECT_TRUE(source.reads_memory());
      EXPECT_FALSE(source.is_mapped());
      return source;
    }
    file_.emplace(bytes);
    auto source =
        GetParam() == Form::Mapped ? KernelSource::open(file_->path()) : KernelSource::open_unmapped(file_->path());
    EXPECT_TRUE(source.has_value());
    EXPECT_EQ(source->is_mapped(), GetParam() == Form::Mapped);
    return std::move(*source);
  }

 private:
  std::optional<TempFile> file_;
};

TEST_P(KernelSourceVariants, ReadsAdvanceAndStopAtTheEnd) {
  const auto bytes = ramp(3000);
  KernelSource source = open(bytes);
  EXPECT_EQ(source.length().value(), 3000u);
  std::array<std::byte, 1024> buffer{};
  ASSERT_EQ(source.read(buffer).value(), 1024u);
  EXPECT_EQ(buffer[5], bytes[5]);
  ASSERT_EQ(source.seek(SeekFrom::start(2990)).value(), 2990u);
  ASSERT_EQ(source.read(buffer).value(), 10u);
  EXPECT_EQ(buffer[9], bytes[2999]);
  EXPECT_EQ(source.read(buffer).value(), 0u);
  ASSERT_EQ(source.seek(SeekFrom::start(1u << 20)).value(), 1u << 20);  // past the end is allowed
  EXPECT_EQ(source.read(buffer).value(), 0u);
}

TEST_P(KernelSourceVariants, SeeksFromEndAndCurrent) {
  const auto bytes = ramp(100);
  KernelSource source = open(bytes);
  EXPECT_EQ(source.seek(SeekFrom::end(-10)).value(), 90u);
  EXPECT_EQ(source.seek(SeekFrom::current(5)).value(), 95u);
  EXPECT_EQ(source.seek(SeekFrom::current(-95)).value(), 0u);
  std::array<std::byte, 4> buffer{};
  ASSERT_TRUE(source.read_exact(buffer).has_value());
  EXPECT_EQ(buffer[3], bytes[3]);
}

TEST_P(KernelSourceVariants, NegativeSeekFails) {
  KernelSource source = open(ramp(100));
  const auto result = source.seek(SeekFrom::end(-101));
  ASSERT_FALSE(result.has_value());
  if (GetParam() != Form::Plain) {
    EXPECT_EQ(message(result.error()), "invalid seek to a negative or overflowing position");
  } else {
    EXPECT_EQ(message(result.error()), "Invalid argument (os error 22)");
  }
}

TEST_P(KernelSourceVariants, ReadExactPastTheEndFails) {
  KernelSource source = open(ramp(100));
  ASSERT_TRUE(source.seek(SeekFrom::start(60)).has_value());
  std::array<std::byte, 41> buffer{};
  const auto result = source.read_exact(buffer);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(message(result.error()), "failed to fill whole buffer");
}

INSTANTIATE_TEST_SUITE_P(MappedPlainAndInMemory, KernelSourceVariants,
                         ::testing::Values(Form::Mapped, Form::Plain, Form::InMemory));

TEST(MappedKernelSource, SeekOverflowFails) {
  TempFile file(ramp(100));
  auto source = KernelSource::open(file.path());
  ASSERT_TRUE(source->is_mapped());
  ASSERT_TRUE(source->seek(SeekFrom::start(std::numeric_limits<std::uint64_t>::max() - 5)).has_value());
  const auto overflow = source->seek(SeekFrom::current(10));
  ASSERT_FALSE(overflow.has_value());
  EXPECT_EQ(message(overflow.error()), "invalid seek to a negative or overflowing position");
  const auto lowest = source->seek(SeekFrom::current(std::numeric_limits<std::int64_t>::min()));
  EXPECT_TRUE(lowest.has_value());  // still inside the unsigned range
}

TEST(KernelSourceOpen, MissingFileIsAnOsError) {
  const auto source = KernelSource::open("/nonexistent/kernel.bsp");
  ASSERT_FALSE(source.has_value());
  EXPECT_EQ(message(source.error()), "No such file or directory (os error 2)");
  const auto kernel = SpkKernel::open("/nonexistent/kernel.bsp");
  ASSERT_FALSE(kernel.has_value());
  EXPECT_EQ(message(kernel.error()), "failed to read SPK kernel: No such file or directory (os error 2)");
}

TEST(KernelSourceOpen, EmptyFileFallsBackAndFailsCleanly) {
  TempFile file({});
  auto source = KernelSource::open(file.path());
  ASSERT_TRUE(source.has_value());
  EXPECT_FALSE(source->is_mapped());
  const auto kernel = SpkKernel::open(file.path());
  ASSERT_FALSE(kernel.has_value());
  EXPECT_EQ(message(kernel.error()), "failed to read SPK kernel: failed to fill whole buffer");
}

TEST(KernelSourceOpen, DirectoryFailsCleanly) {
  TempDir directory;
  const auto kernel = SpkKernel::open(directory.path());
  ASSERT_FALSE(kernel.has_value());
  EXPECT_EQ(message(kernel.error()), "failed to read SPK kernel: Is a directory (os error 21)");
}

TEST(KernelSourceOpen, ShortFileFailsCleanly) {
  TempFile file(ramp(1023));
  const auto kernel = SpkKernel::open(file.path());
  ASSERT_FALSE(kernel.has_value());
  EXPECT_EQ(message(kernel.error()), "failed to read SPK kernel: failed to fill whole buffer");
}

TEST(KernelSourceOpen, DescriptorsAreReleasedAndMovesKeepTheStream) {
  TempFile file(ramp(200));
  const int before = open_descriptor_count();
  {
    auto opened = KernelSource::open(file.path());
    ASSERT_TRUE(opened.has_value());
    ASSERT_TRUE(opened->seek(SeekFrom::start(7)).has_value());
    KernelSource moved = std::move(*opened);
    std::array<std::byte, 1> one{};
    ASSERT_TRUE(moved.read_exact(one).has_value());
    EXPECT_EQ(one[0], std::byte{7});
    auto plain = KernelSource::open_unmapped(file.path());
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(open_descriptor_count(), before + 2);
  }
  EXPECT_EQ(open_descriptor_count(), before);
}

}  // namespace
}  // namespace ephemeris
