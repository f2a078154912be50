#include "spk/center_chain.h"

#include <algorithm>

#include "core/body.h"

namespace ephemeris {

// The walk's view of a kernel: segments by their index in its list.
class CenterChainAccess {
 public:
  static std::expected<std::size_t, SpkError> find(SpkKernel& kernel, std::int32_t body, double epoch) {
    return kernel.find_segment(body, epoch);
  }
  static bool found(std::size_t segment) { return segment != SpkKernel::kNoSegment; }
  static std::int32_t center(const SpkKernel& kernel, std::size_t segment) {
    return kernel.segment_loc(segment).center;
  }
  static std::expected<StateVector, SpkError> evaluate(SpkKernel& kernel, std::size_t segment, double epoch) {
    return kernel.evaluate_segment(segment, epoch);
  }
  static std::expected<void, SpkError> evaluate(SpkKernel& kernel, std::size_t segment,
                                                std::span<const double> epochs, std::span<StateVector> states) {
    return kernel.evaluate_segment_at_epochs(segment, epochs, states);
  }
};

namespace {

using Access = CenterChainAccess;

// Where a body's segment was found: kernel index and segment index.
struct SegmentHit {
  std::size_t kernel = 0;
  std::size_t segment = 0;
};

std::expected<SegmentHit, SpkError> find_across_kernels(std::span<SpkKernel> kernels, std::int32_t body,
                                                        double epoch) {
  for (std::size_t k = 0; k < kernels.size(); ++k) {
    const auto segment = Access::find(kernels[k], body, epoch);
    if (!segment) return std::unexpected(segment.error());
    if (Access::found(*segment)) return SegmentHit{k, *segment};
  }
  return std::unexpected(SpkError::no_segment_for_center_chain(body, epoch));
}

// One epoch's link in one pass of the batch walk, ordered by segment so that
// the epochs sharing a segment sit together (in increasing epoch position).
struct PassLink {
  std::size_t kernel;
  std::size_t segment;
  std::size_t position;
  friend bool operator<(const PassLink& a, const PassLink& b) {
    if (a.kernel != b.kernel) return a.kernel < b.kernel;
    if (a.segment != b.segment) return a.segment < b.segment;
    return a.position < b.position;
  }
};

}  // namespace

std::expected<std::vector<StateVector>, SpkError> barycentric_states_across_kernels(
    std::span<SpkKernel> kernels, std::int32_t target, std::span<const double> epochs) {
  const std::size_t count = epochs.size();
  std::vector<StateVector> states(count);
  if (target == kNaifSolarSystemBarycenter) return states;

  std::vector<std::int32_t> bodies(count, target);  // current body of each chain, 0 when finished
  std::vector<std::uint8_t> links(count, 0);        // links taken, saturating at 255
  std::vector<PassLink> pass;
  std::vector<double> group_epochs;
  std::vector<StateVector> group_states;
  pass.reserve(count);

  // Each pass advances every unfinished chain by one link; a chain ends at
  // code 0 or fails after kMaxCenterChainLinks, so at most 33 passes run.
  while (true) {
    pass.clear();
    for (std::size_t i = 0; i < count; ++i) {
      const std::int32_t body = bodies[i];
      if (body == kNaifSolarSystemBarycenter) continue;
      if (links[i] < 255) ++links[i];
      if (links[i] > kMaxCenterChainLinks) return std::unexpected(SpkError::center_chain_cycle(target));
      const auto hit = find_across_kernels(kernels, body, epochs[i]);
      if (!hit) return std::unexpected(hit.error());
      pass.push_back({hit->kernel, hit->segment, i});
    }
    if (pass.empty()) return states;
    if (!std::is_sorted(pass.begin(), pass.end())) std::sort(pass.begin(), pass.end());

    for (std::size_t first = 0; first < pass.size();) {
      std::size_t last = first;
      while (last < pass.size() && pass[last].kernel == pass[first].kernel &&
             pass[last].segment == pass[first].segment) {
        ++last;
      }
      SpkKernel& kernel = kernels[pass[first].kernel];
      const std::size_t segment = pass[first].segment;
      group_epochs.clear();
      for (std::size_t j = first; j < last; ++j) group_epochs.push_back(epochs[pass[j].position]);
      group_states.resize(group_epochs.size());
      if (auto done = Access::evaluate(kernel, segment, group_epochs, group_states); !done) {
        return std::unexpected(done.error());
      }
      const std::int32_t center = Access::center(kernel, segment);
      for (std::size_t j = first; j < last; ++j) {
        const std::size_t position = pass[j].position;
        states[position] += group_states[j - first];
        bodies[position] = center;
      }
      first = last;
    }
  }
}

std::expected<StateVector, SpkError> barycentric_state_across_kernels(std::span<SpkKernel> kernels,
                                                                      std::int32_t target, double epoch) {
  StateVector sum{};
  std::int32_t body = target;
  unsigned links = 0;
  while (body != kNaifSolarSystemBarycenter) {
    if (++links > kMaxCenterChainLinks) return std::unexpected(SpkError::center_chain_cycle(target));
    const auto hit = find_across_kernels(kernels, body, epoch);
    if (!hit) return std::unexpected(hit.error());
    SpkKernel& kernel = kernels[hit->kernel];
    const auto state = Access::evaluate(kernel, hit->segment, epoch);
    if (!state) return std::unexpected(state.error());
    sum += *state;
    body = Access::center(kernel, hit->segment);
  }
  return sum;
}

}  // namespace ephemeris
