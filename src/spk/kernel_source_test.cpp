// The byte source of a kernel: the mapped, plain-file and in-memory forms read
// and seek alike; opening failures; descriptors released.
#include "spk/kernel_source.h"

#include <array>
#include <filesystem>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spk/spk_kernel.h"
#include "spk/testing/spk_writer.h"
#include "time/testing/temp_dir.h"

namespace ephemeris {
namespace {

using testing::outcome;
using testing::TempFile;

std::vector<std::byte> ramp(std::size_t size) {
  std::vector<std::byte> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::byte>(i % 251);
  return bytes;
}

TEST(KernelSource, MappedPlainAndInMemoryFormsReadAlike) {
  const auto bytes = ramp(3000);
  const TempFile file(bytes);
  for (int form = 0; form < 3; ++form) {
    KernelSource source = form == 0   ? KernelSource::open(file.path()).value()
                          : form == 1 ? KernelSource::open_unmapped(file.path()).value()
                                      : KernelSource::from_bytes(bytes);
    EXPECT_EQ(std::pair(source.is_mapped(), source.reads_memory()), std::pair(form == 0, form != 1));
    EXPECT_EQ(source.length().value(), 3000u);
    std::array<std::byte, 2048> buffer{};
    EXPECT_EQ(source.seek(SeekFrom::end(-10)).value(), 2990u);
    EXPECT_EQ(source.read(buffer).value(), 10u);  // up to the end
    EXPECT_EQ(std::pair(buffer[0], buffer[9]), std::pair(bytes[2990], bytes[2999]));
    EXPECT_EQ(source.seek(SeekFrom::start(1u << 20)).value(), 1u << 20);  // past the end is allowed
    EXPECT_EQ(source.read(buffer).value(), 0u);
    EXPECT_EQ(source.seek(SeekFrom::current(5 - (1 << 20))).value(), 5u);
    EXPECT_EQ(outcome(source.read_exact(std::span(buffer).first(3))), "ok");
    EXPECT_EQ(buffer[2], bytes[7]);
    EXPECT_EQ(outcome(source.read_exact(std::span(buffer).first(1024))), "ok");
    EXPECT_EQ(outcome(source.read_exact(std::span(buffer).first(1969))), "failed to fill whole buffer");
    EXPECT_EQ(outcome(source.seek(SeekFrom::end(-3001))),
              form == 1 ? "Invalid argument (os error 22)" : "invalid seek to a negative or overflowing position");
  }
}

TEST(KernelSource, MappedSeekOverflowFails) {
  const TempFile file(ramp(100));
  auto source = KernelSource::open(file.path()).value();
  ASSERT_TRUE(source.seek(SeekFrom::start(std::numeric_limits<std::uint64_t>::max() - 5)).has_value());
  EXPECT_EQ(outcome(source.seek(SeekFrom::current(10))), "invalid seek to a negative or overflowing position");
  EXPECT_TRUE(source.seek(SeekFrom::current(std::numeric_limits<std::int64_t>::min())).has_value());
}

TEST(KernelSource, OpeningFailuresAreCleanErrors) {
  EXPECT_EQ(outcome(KernelSource::open("/nonexistent/kernel.bsp")), "No such file or directory (os error 2)");
  EXPECT_EQ(outcome(SpkKernel::open("/nonexistent/kernel.bsp")),
            "failed to read SPK kernel: No such file or directory (os error 2)");
  const testing::TempDir directory;
  EXPECT_EQ(outcome(SpkKernel::open(directory.path())), "failed to read SPK kernel: Is a directory (os error 21)");
  const TempFile empty({});
  EXPECT_FALSE(KernelSource::open(empty.path())->is_mapped());  // an empty file cannot be mapped
  EXPECT_EQ(outcome(SpkKernel::open(empty.path())), "failed to read SPK kernel: failed to fill whole buffer");
  EXPECT_EQ(outcome(SpkKernel::open(TempFile(ramp(1023)).path())),
            "failed to read SPK kernel: failed to fill whole buffer");
}

TEST(KernelSource, DescriptorsAreReleasedAndMovesKeepTheStream) {
  const auto open_descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  const TempFile file(ramp(200));
  const auto before = open_descriptors();
  {
    auto opened = KernelSource::open(file.path()).value();
    ASSERT_TRUE(opened.seek(SeekFrom::start(7)).has_value());
    KernelSource moved = std::move(opened);
    std::array<std::byte, 1> one{};
    ASSERT_TRUE(moved.read_exact(one).has_value());
    EXPECT_EQ(one[0], std::byte{7});
    const auto plain = KernelSource::open_unmapped(file.path());
    EXPECT_EQ(open_descriptors(), before + 2);
  }
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
}  // namespace ephemeris
