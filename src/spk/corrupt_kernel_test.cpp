// Kernels with random bytes overwritten must give values or errors, never a
// crash, a hang or an out-of-bounds read (run under the sanitizers as well).
#include <array>
#include <cstdint>
#include <cstdio>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "spk/center_chain.h"
#include "spk/testing/spk_writer.h"

namespace ephemeris {
namespace {

TEST(CorruptKernel, RandomBytesGiveValuesOrErrors) {
  testing::KernelSpec spec{.segments = {
      testing::linear_segment(3, 0, 0.0, 250.0, 4, {1.0e8, 2.0e7, 3.0e6}, {1, 2, 3}, 5.0),
      testing::linear_segment(399, 3, 0.0, 125.0, 8, {4000, -5000, 600}, {0.1, 0.2, 0.3}),
      testing::linear_segment(499, 4, 0.0, 500.0, 2, {1, 2, 3}, {0, 0, 0}),
      testing::linear_segment(4, 0, 0.0, 1000.0, 1, {2.0e8, 0, 0}, {0, 24, 0})}};
  spec.summaries_per_record = 2;
  const std::array<std::uint32_t, 5> u32_extremes = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
  const std::array<double, 6> f64_extremes = {0.0, -1.0, 1e300, 4294967295.0, std::nan(""), INFINITY};
  const std::array<double, 5> epochs = {0.0, 250.0, 499.5, 777.0, 1000.0};
  std::mt19937_64 random(20240601);
  int opened = 0, evaluated = 0;
  for (int trial = 0; trial < 600; ++trial) {
    spec.big_endian = trial % 2 == 1;
    auto image = testing::build_kernel(spec);
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
    for (std::int32_t target : {399, 499, 3}) {
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
