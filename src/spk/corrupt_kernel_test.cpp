// Kernels with random bytes overwritten must give values or errors, never a
// crash, a hang or an out-of-bounds read (run under the sanitizers as well).
#include <array>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "spk/center_chain.h"
#include "spk/testing/spk_writer.h"

namespace ephemeris {
namespace {

testing::KernelSpec chain_spec(bool big_endian) {
  testing::KernelSpec spec;
  spec.big_endian = big_endian;
  spec.summaries_per_record = 2;
  spec.segments.push_back(testing::linear_segment(3, 0, 0.0, 250.0, 4, {1.0e8, 2.0e7, 3.0e6}, {1, 2, 3}, 5.0));
  spec.segments.push_back(testing::linear_segment(399, 3, 0.0, 125.0, 8, {4000, -5000, 600}, {0.1, 0.2, 0.3}));
  spec.segments.push_back(testing::linear_segment(499, 4, 0.0, 500.0, 2, {1, 2, 3}, {0, 0, 0}));
  spec.segments.push_back(testing::linear_segment(4, 0, 0.0, 1000.0, 1, {2.0e8, 0, 0}, {0, 24, 0}));
  return spec;
}

TEST(CorruptKernel, RandomBytesGiveValuesOrErrors) {
  std::mt19937_64 random(20240601);
  const std::array<double, 5> epochs = {0.0, 250.0, 499.5, 777.0, 1000.0};
  int opened = 0;
  int evaluated = 0;
  for (int trial = 0; trial < 600; ++trial) {
    auto image = testing::build_kernel(chain_spec(trial % 2 == 1));
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      // Half of the changes hit the file record and the summary and name records.
      const std::size_t region = random() % 2 == 0 ? 5 * 1024 : image.bytes.size();
      const std::size_t at = random() % region;
      switch (random() % 3) {
        case 0:  // one random byte
          image.bytes[at] = static_cast<std::byte>(random());
          break;
        case 1:  // a 32-bit integer field (counts, addresses, codes) set to an extreme
          if (at + 4 <= image.bytes.size()) {
            const std::array<std::uint32_t, 5> extremes = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
            image.put_u32(at & ~std::size_t{3}, extremes[random() % extremes.size()]);
          }
          break;
        default:  // a double word (epochs, control words, directory) set to an extreme
          if (at + 8 <= image.bytes.size()) {
            const std::array<double, 6> extremes = {0.0, -1.0, 1e300, 4294967295.0,
                                                    std::numeric_limits<double>::quiet_NaN(),
                                                    std::numeric_limits<double>::infinity()};
            image.put_f64(at & ~std::size_t{7}, extremes[random() % extremes.size()]);
          }
          break;
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
      // Both paths agree on success; each gives a text when it fails.
      if (batch && single) {
        ++evaluated;
        EXPECT_EQ((*batch)[2], *single);
      }
      if (!batch) {
        EXPECT_FALSE(message(batch.error()).empty());
      }
      if (!single) {
        EXPECT_FALSE(message(single.error()).empty());
      }
    }
  }
  std::printf("corrupted kernels: %d of 600 opened, %d evaluations succeeded\n", opened, evaluated);
  EXPECT_GT(opened, 0);
}

}  // namespace
}  // namespace ephemeris
