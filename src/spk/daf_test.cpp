// The DAF layer: file record, summary chain, segment summaries and word reads,
// in both byte orders, with one row per validation reason; and kernels with
// random bytes overwritten, which must give values or errors, never a crash,
// a hang or an out-of-bounds read (run under the sanitizers as well).
#include "spk/daf.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "spk/center_chain.h"
#include "spk/testing/spk_writer.h"
#include "time/testing/temp_dir.h"

namespace ephemeris {
namespace {

using testing::KernelImage;
using testing::outcome;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Four segments, two summaries per record: summary records 2 -> 4.
KernelImage two_record_kernel(bool big_endian) {
  testing::KernelSpec spec{big_endian, std::string("name\0\0  \0", 9), 2,
                           {testing::linear_segment(3, 0, -1000.0, 500.0, 4, {1.0e8, 2.0e7, -3.0e6}, {1, 2, 3}, 10.0),
                            testing::linear_segment(399, 3, -1000.0, 250.0, 8, {4000, -5000, 600}, {0.1, 0.2, 0.3}),
                            testing::fixed_segment(301, 3, {-3.0e5, 1.0e5, 2.0e4}),
                            testing::fixed_segment(42, 3, {1, 2, 3}, -1000.0, 2)}};
  spec.segments[0].identifier = "EMB";
  spec.segments[1].identifier = "";
  spec.segments[2].identifier = std::string("  lead\0 \0", 9);
  return testing::build_kernel(spec);
}

// The segment list of a kernel, or the error of opening it or of reading the list.
std::string read(const KernelImage& image) {
  auto kernel = SpkKernel::from_bytes(image.bytes);
  return kernel ? outcome(kernel->segments()) : message(kernel.error());
}

TEST(Daf, ReadsFileRecordAndSegmentsInFileOrderInBothByteOrders) {
  auto little = SpkKernel::from_bytes(two_record_kernel(false).bytes).value();
  auto big = SpkKernel::from_bytes(two_record_kernel(true).bytes).value();
  EXPECT_EQ(std::tuple(big.file_record().internal_file_name, big.file_record().bward, big.file_record().big_endian),
            std::tuple("name", 4u, true));
  const auto segments = big.segments().value();
  EXPECT_EQ(little.segments().value(), segments);
  EXPECT_EQ(std::vector({segments[0].identifier, segments[1].identifier, segments[2].identifier}),
            std::vector<std::string>({"EMB", "", "  lead"}));
  EXPECT_EQ(std::vector({segments[0].target, segments[1].target, segments[2].target, segments[3].target}),
            std::vector({3, 399, 301, 42}));
  const auto loc = SegmentLoc::from_segment(segments[1]);
  EXPECT_EQ(little.evaluate_type2_at_epochs(loc, std::array{-1000.0, 123.25, 1000.0}).value(),
            big.evaluate_type2_at_epochs(loc, std::array{-1000.0, 123.25, 1000.0}).value());
  EXPECT_TRUE(SpkKernel::from_bytes(testing::build_kernel({}).bytes)->segments()->empty());
}

TEST(Daf, EveryValidationReason) {
  const auto c = KernelImage::control_offset;  // (record, 0 NEXT / 1 PREV / 2 NSUM)
  const std::size_t s = KernelImage::summary_offset(2, 1);
  const std::string record_error = "invalid DAF file record: ";
  const std::string chain = "invalid DAF summary chain: ";
  const std::string control = chain + "summary control word is not a non-negative integer";
  const std::string eof = "failed to read SPK kernel: failed to fill whole buffer";
  const std::string bounds = "invalid SPK segment: DAF address bounds are invalid";
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    const KernelImage base = two_record_kernel(big);
    const auto u32 = [&](std::size_t at, std::uint32_t v) { auto i = base; i.put_u32(at, v); return read(i); };
    const auto f64 = [&](std::size_t at, double v) { auto i = base; i.put_f64(at, v); return read(i); };
    const auto bytes = [&](std::size_t at, std::string_view v) { auto i = base; i.put_bytes(at, v); return read(i); };
    const auto cut = [&](std::size_t size) { auto i = base; i.bytes.resize(size); return read(i); };
    EXPECT_EQ(bytes(0, "NAIF/DAF"), "expected DAF/SPK file identifier, found \"NAIF/DAF\"");
    EXPECT_EQ(bytes(0, std::string_view{"\xff\x00\"AF/SP", 8}),
              "expected DAF/SPK file identifier, found \"\xEF\xBF\xBD\\0\\\"AF/SP\"");
    EXPECT_EQ(bytes(88, "VAX-GFLT"), "unsupported DAF binary format \"VAX-GFLT\"");
    EXPECT_EQ(bytes(88, std::string_view{"BIG\0\0\0\0\0", 8}), "unsupported DAF binary format \"BIG\"");
    EXPECT_EQ(bytes(88, "LTL-\xC3\x28  "), "invalid UTF-8 in binary format");
    EXPECT_EQ(bytes(16, "\xC0\xAF"), "invalid UTF-8 in internal file name");
    EXPECT_EQ(u32(8, 0), record_error + "summary component counts must be non-zero");
    EXPECT_EQ(u32(12, 0), record_error + "summary component counts must be non-zero");
    EXPECT_EQ(u32(8, 123), record_error + "packed summary cannot fit in a DAF summary record");
    EXPECT_EQ(u32(8, 122), "unsupported SPK summary layout ND=122, NI=6");
    EXPECT_EQ(u32(8, 0xFFFFFFFD), "unsupported SPK summary layout ND=4294967293, NI=6");  // the sum wraps
    EXPECT_EQ(u32(76, 1), record_error + "summary record pointers are inconsistent");
    EXPECT_EQ(u32(80, 1), record_error + "summary record pointers are inconsistent");
    EXPECT_EQ(u32(84, 128), record_error + "first free address points inside the file record");
    EXPECT_EQ(u32(84, 129), "ok");
    EXPECT_EQ(f64(c(4, 0), 2), chain + "summary record chain contains a cycle");
    EXPECT_EQ(f64(c(2, 0), 0), chain + "summary chain ended before the final summary record");
    EXPECT_EQ(f64(c(2, 0), 2.5), control);
    EXPECT_EQ(f64(c(2, 1), -1), control);
    EXPECT_EQ(f64(c(2, 2), kNaN), control);
    EXPECT_EQ(f64(c(4, 2), 4294967296.0), control);
    EXPECT_EQ(f64(c(2, 1), -0.0), "ok");
    EXPECT_EQ(f64(c(4, 1), 4), chain + "summary record has an incorrect backward pointer");
    EXPECT_EQ(f64(c(2, 1), 1), chain + "summary record has an incorrect backward pointer");
    EXPECT_EQ(f64(c(2, 2), 26), chain + "summary count exceeds record capacity");
    EXPECT_EQ(f64(c(4, 0), 1000), eof);
    EXPECT_EQ(f64(c(4, 0), 4294967295.0), eof);
    EXPECT_EQ(cut(1500), eof);
    EXPECT_EQ(cut(2100), eof);
    EXPECT_EQ(f64(s, kNaN), "invalid SPK segment: time bounds must be finite");
    EXPECT_EQ(f64(s + 8, -std::numeric_limits<double>::infinity()), "invalid SPK segment: time bounds must be finite");
    EXPECT_EQ(f64(s, 5000.0), "invalid SPK segment: start time is after end time");
    EXPECT_EQ(f64(s + 8, -1000.0), "ok");  // equal bounds
    EXPECT_EQ(u32(s + 32, 0), bounds);
    EXPECT_EQ(u32(s + 32, 0x80000000u), bounds);
    EXPECT_EQ(u32(s + 36, 10), bounds);
    EXPECT_EQ(bytes(KernelImage::name_offset(4, 1), "\xFF"), "invalid UTF-8 in segment identifier");
  }
}

TEST(Daf, FailedWalkIsNotCached) {
  const KernelImage image = two_record_kernel(false);
  KernelImage broken = image;
  broken.put_f64(KernelImage::summary_offset(2, 0), kNaN);
  const testing::TempFile file(image.bytes);
  auto kernel = SpkKernel::open(file.path()).value();
  const auto opened = std::filesystem::last_write_time(file.path());
  for (const KernelImage* bytes : std::array<const KernelImage*, 2>{&broken, &image}) {
    std::FILE* out = std::fopen(file.path().c_str(), "r+b");
    std::fwrite(bytes->bytes.data(), 1, bytes->bytes.size(), out);
    std::fclose(out);
    // The same size and modification time: a change in place that the kernel cannot see.
    std::filesystem::last_write_time(file.path(), opened);
    const auto segments = kernel.segments();
    EXPECT_EQ(segments ? segments->size() : 0u, bytes == &image ? 4u : 0u);
  }
}

TEST(Daf, ReadWordsAddressesAndBounds) {
  const KernelImage image = two_record_kernel(true);
  auto kernel = SpkKernel::from_bytes(image.bytes).value();
  EXPECT_EQ(kernel.read_words(image.start_addresses[0], 2).value(), (std::vector<double>{-750.0, 250.0}));
  const auto last = static_cast<std::int32_t>(image.bytes.size() / 8);
  const std::string one_based = "invalid SPK Type 2 segment: DAF word addresses are one-based";
  const std::string eof = "failed to read SPK kernel: failed to fill whole buffer";
  const std::tuple<std::int32_t, std::uint32_t, std::string> cases[] = {
      {0, 4, one_based}, {-5, 1, one_based}, {last, 1, "ok"}, {last, 2, eof}, {1, 0, "ok"},
      {std::numeric_limits<std::int32_t>::max(), 1, eof},
      {1, std::numeric_limits<std::uint32_t>::max(), eof}};  // refused before anything is allocated
  for (const auto& [address, count, text] : cases) EXPECT_EQ(outcome(kernel.read_words(address, count)), text);
}

TEST(CorruptKernel, RandomBytesGiveValuesOrErrors) {
  const std::array<std::uint32_t, 5> u32_extremes = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
  const std::array<double, 6> f64_extremes = {0.0, -1.0, 1e300, 4294967295.0, std::nan(""), INFINITY};
  const std::array<double, 5> epochs = {-1000.0, -250.0, 0.5, 777.0, 1000.0};
  std::mt19937_64 random(20240601);
  int opened = 0, evaluated = 0;
  for (int trial = 0; trial < 600; ++trial) {
    KernelImage image = two_record_kernel(trial % 2 == 1);
    for (int c = 0, changes = 1 + static_cast<int>(random() % 4); c < changes; ++c) {
      // Half of the changes hit the file record and the summary and name records.
      const std::size_t region = random() % 2 == 0 ? 5 * 1024 : image.bytes.size();
      const std::size_t at = random() % region;
      const auto kind = random() % 3;
      if (kind == 0) {
        image.bytes[at] = static_cast<std::byte>(random());
      } else if (kind == 1 && at + 4 <= image.bytes.size()) {  // counts, addresses, codes
        image.put_u32(at & ~std::size_t{3}, u32_extremes[random() % u32_extremes.size()]);
      } else if (kind == 2 && at + 8 <= image.bytes.size()) {  // epochs, control words, directories
        image.put_f64(at & ~std::size_t{7}, f64_extremes[random() % f64_extremes.size()]);
      }
    }
    if (random() % 8 == 0) image.bytes.resize(random() % image.bytes.size());
    auto kernel = SpkKernel::from_bytes(std::move(image.bytes));
    if (!kernel) continue;
    ++opened;
    std::vector<SpkKernel> kernels;
    kernels.push_back(std::move(*kernel));
    for (std::int32_t target : {399, 42, 3}) {
      const auto batch = barycentric_states_across_kernels(kernels, target, epochs);
      const auto single = barycentric_state_across_kernels(kernels, target, epochs[2]);
      EXPECT_TRUE(!batch || !single || (*batch)[2] == *single);
      evaluated += batch && single;
      EXPECT_FALSE(testing::outcome(batch).empty() || testing::outcome(single).empty());
    }
  }
  std::printf("corrupted kernels: %d of 600 opened, %d evaluations succeeded\n", opened, evaluated);
  EXPECT_GT(opened, 0);
  EXPECT_GT(evaluated, 0);
}

}  // namespace
}  // namespace ephemeris
