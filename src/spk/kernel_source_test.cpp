// The byte source of a kernel: the file and in-memory forms read and seek
// alike; opening failures, FIFOs and devices among them; files changed on disk
// after opening; descriptors released.
#include "spk/kernel_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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

TEST(KernelSource, FileAndInMemoryFormsReadAlike) {
  const auto bytes = ramp(3000);
  const TempFile file(bytes);
  for (int form = 0; form < 2; ++form) {
    KernelSource source = form == 0 ? KernelSource::open(file.path()).value() : KernelSource::from_bytes(bytes);
    EXPECT_EQ(std::pair(source.length().value(), source.opened_length()), std::pair(3000ul, 3000ul));
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
              form == 0 ? "Invalid argument (os error 22)" : "invalid seek to a negative or overflowing position");
    // Positional reads leave the stream where it was.
    EXPECT_EQ(outcome(source.read_exact_at(2000, std::span(buffer).first(1000))), "ok");
    EXPECT_EQ(std::pair(buffer[0], buffer[999]), std::pair(bytes[2000], bytes[2999]));
    EXPECT_EQ(outcome(source.read_exact_at(2001, std::span(buffer).first(1000))), "failed to fill whole buffer");
    EXPECT_EQ(outcome(source.read_exact_at(~0ul, std::span(buffer).first(1))),
              form == 0 ? "Invalid argument (os error 22)" : "failed to fill whole buffer");
    EXPECT_EQ(source.seek(SeekFrom::current(0)).value(), 3000u);
  }
}

TEST(KernelSource, InMemorySeekOverflowFails) {
  auto source = KernelSource::from_bytes(ramp(100));
  ASSERT_TRUE(source.seek(SeekFrom::start(std::numeric_limits<std::uint64_t>::max() - 5)).has_value());
  EXPECT_EQ(outcome(source.seek(SeekFrom::current(10))), "invalid seek to a negative or overflowing position");
  EXPECT_TRUE(source.seek(SeekFrom::current(std::numeric_limits<std::int64_t>::min())).has_value());
}

TEST(KernelSource, OpeningFailuresAreCleanErrors) {
  const testing::TempDir directory;
  const std::string fifo = (directory.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string eof = "failed to fill whole buffer";
  const TempFile empty({}), short_file(ramp(1023));
  // FIFOs and devices fail at once: opening never blocks and nothing is read.
  for (const auto& [path, text] : {std::pair<std::string, std::string>{"/nonexistent/kernel.bsp",
                                                                      "No such file or directory (os error 2)"},
                                   {directory.path(), "Is a directory (os error 21)"},
                                   {std::string("a\0b", 3), "Invalid argument (os error 22)"},
                                   {fifo, "not a regular file"}, {"/dev/null", "not a regular file"},
                                   {"/dev/zero", "not a regular file"},
                                   {empty.path(), eof}, {short_file.path(), eof}}) {
    EXPECT_EQ(outcome(SpkKernel::open(path)), "failed to read SPK kernel: " + text) << path;
  }
}

// A kernel file changed on disk after it was opened and its segment list read.
// A record read from a mapping of a file cut short would raise SIGBUS.
TEST(KernelSource, FilesChangedAfterOpeningGiveIoErrors) {
  // 2,000 records of 64 bytes: the last one lies record blocks away from the first.
  const auto image =
      testing::build_kernel({.segments = {testing::linear_segment(499, 4, 0, 50, 2000, {1, 2, 3}, {0, 0, 0})}});
  const std::size_t size = image.bytes.size();
  const auto cut = [](std::size_t to) {
    return [to](const std::string& path) { ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(to)), 0); };
  };
  const auto rewrite_later = [&](const std::string& path) {  // the same bytes, modified ten seconds on
    const auto modified = std::filesystem::last_write_time(path);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.bytes.data()), size);
    std::filesystem::last_write_time(path, modified + std::chrono::seconds(10));
  };
  const auto replace = [](const std::string& path) {  // a new file renamed over the path
    const TempFile other(ramp(100));
    std::filesystem::rename(other.path(), path);
  };
  const std::string changed = "failed to read SPK kernel: file size changed from " + std::to_string(size) + " to ";
  const std::tuple<std::function<void(const std::string&)>, std::string> cases[] = {
      {cut(2048), changed + "2048 bytes after it was opened"},
      {cut(size + 8), changed + std::to_string(size + 8) + " bytes after it was opened"},
      {rewrite_later, "failed to read SPK kernel: file was modified after it was opened"},
      {replace, "ok"},  // the open file is still the old one, whole and unchanged
  };
  for (const auto& [change, text] : cases) {
    const TempFile file(image.bytes);
    auto kernel = SpkKernel::open(file.path()).value();
    const auto loc = SegmentLoc::from_segment(kernel.segments()->at(0));
    ASSERT_EQ(outcome(kernel.evaluate_type2_at_epochs(loc, std::array{10.0})), "ok");
    change(file.path());
    EXPECT_EQ(outcome(kernel.evaluate_type2_at_epochs(loc, std::array{99990.0})), text);
  }
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
    const auto second = KernelSource::open(file.path());
    EXPECT_EQ(open_descriptors(), before + 2);
  }
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
}  // namespace ephemeris
