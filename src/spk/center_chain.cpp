#include "spk/center_chain.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>

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
  static bool try_evaluate_lanes(SpkKernel& kernel, std::size_t segment, int lanes, const double epochs[],
                                 StateVector states[]) {
    return kernel.try_evaluate_segment_lanes(segment, lanes, epochs, states);
  }
  // Fetches the link's record and keeps it in the link when it is cached.
  static void prefetch(SpkKernel& kernel, ChainLink& link, double epoch) {
    if (!kernel.prefetch_segment(link.segment, epoch, link.record, link.record_size, link.check, link.record_index)) {
      link.record = nullptr;
    }
    link.reads = kernel.record_reads_;
  }
  // Whether `near`'s record, kept for the same segment, still serves `epoch`.
  static bool serves(const SpkKernel& kernel, const ChainLink& near, double epoch) {
    return at_hand(kernel, near) && kernel.serves_with_record(near.segment, epoch, near.record_index);
  }
  // Whether the record kept in `link` is still cached.
  static bool at_hand(const SpkKernel& kernel, const ChainLink& link) {
    return link.record != nullptr && kernel.record_reads_ == link.reads;
  }
  // The state of `segment` at `epoch` into `state`: the quick form, or the
  // full evaluation where it declines (the first directory read, or the error).
  static std::expected<void, SpkError> evaluate_into(SpkKernel& kernel, std::size_t segment, double epoch,
                                                     StateVector& state) {
    if (kernel.try_evaluate_segment(segment, epoch, state)) return {};
    const auto evaluated = kernel.evaluate_segment(segment, epoch);
    if (!evaluated) return std::unexpected(evaluated.error());
    state = *evaluated;
    return {};
  }
  // The states of two segments at one epoch whose records have the same
  // size, evaluated side by side (bit for bit evaluate_into's); false where
  // either record is not at hand, the sizes differ, loading the second
  // record read the file (it may have dropped the first) or the evaluation
  // declines: evaluate_into then serves each.
  static bool try_evaluate_pair(SpkKernel& first, std::size_t first_segment, SpkKernel& second,
                                std::size_t second_segment, double epoch, StateVector states[2]) {
    SpkKernel::LoadedRecord records[2];
    std::uint32_t sizes[2] = {};
    if (!first.quick_record(first_segment, epoch, records[0], sizes[0])) return false;
    const std::uint64_t reads = first.record_reads_;
    if (!second.quick_record(second_segment, epoch, records[1], sizes[1])) return false;
    if (sizes[0] != sizes[1] || first.record_reads_ != reads) return false;
    const double* const words[2] = {records[0].words, records[1].words};
    const Type2RecordCheck checks[2] = {records[0].check, records[1].check};
    const double epochs[2] = {epoch, epoch};
    return evaluate_checked_type2_records_into(2, words, sizes[0], checks, epochs, states);
  }
  // The position alone of evaluate_into, bit for bit.
  static std::expected<void, SpkError> evaluate_position_into(SpkKernel& kernel, std::size_t segment, double epoch,
                                                              std::array<double, 3>& position) {
    if (kernel.try_evaluate_segment_position(segment, epoch, position)) return {};
    StateVector state;
    if (auto done = evaluate_into(kernel, segment, epoch, state); !done) return done;
    position = state.position_km;
    return {};
  }
  // The segment serving `body` over all of [first, last] in this kernel.
  enum class Over : std::uint8_t { None, One, Mixed };
  static Over find_over(SpkKernel& kernel, std::int32_t body, double first, double last, std::size_t& segment) {
    const auto found = kernel.find_segment_over(body, first, last);
    if (!found || *found == SpkKernel::kMixedSegments) return Over::Mixed;  // left to the lookups per epoch
    if (*found == SpkKernel::kNoSegment) return Over::None;
    segment = *found;
    return Over::One;
  }
};

namespace {

using Access = CenterChainAccess;

// Where `body`'s segment at `epoch` is, into `kernel` and `segment`.
std::expected<void, SpkError> find_across_kernels(std::span<SpkKernel> kernels, std::int32_t body, double epoch,
                                                  std::size_t& kernel, std::size_t& segment) {
  for (std::size_t k = 0; k < kernels.size(); ++k) {
    const auto found = Access::find(kernels[k], body, epoch);
    if (!found) return std::unexpected(found.error());
    if (Access::found(*found)) {
      kernel = k;
      segment = *found;
      return {};
    }
  }
  return std::unexpected(SpkError::no_segment_for_center_chain(body, epoch));
}

}  // namespace

std::expected<std::vector<StateVector>, SpkError> barycentric_states_across_kernels(
    std::span<SpkKernel> kernels, std::int32_t target, std::span<const double> epochs) {
  std::vector<StateVector> states(epochs.size());
  if (target == kNaifSolarSystemBarycenter) return states;
  ChainWalker walker(kernels, epochs);
  for (std::size_t i = 0; i < epochs.size(); ++i) {
    auto state = walker.state(target, epochs[i]);
    if (!state) return std::unexpected(state.error());
    states[i] = *state;
  }
  return states;
}

namespace {

void find_links(std::span<SpkKernel> kernels, std::int32_t target, double epoch, const CenterChain* near,
                CenterChain& chain) {
  chain.target = target;
  chain.count = 0;
  chain.stop.reset();
  for (std::int32_t body = target; body != kNaifSolarSystemBarycenter;) {
    if (chain.count == kMaxCenterChainLinks) {
      chain.stop = SpkError::center_chain_cycle(target);
      break;
    }
    const std::size_t index = chain.count;
    ChainLink& link = chain.links[index];
    if (auto found = find_across_kernels(kernels, body, epoch, link.kernel, link.segment); !found) {
      chain.stop = found.error();
      break;
    }
    ++chain.count;
    SpkKernel& kernel = kernels[link.kernel];
    if (near != nullptr && index < near->count && near->links[index].kernel == link.kernel &&
        near->links[index].segment == link.segment && Access::serves(kernel, near->links[index], epoch)) {
      link = near->links[index];
    } else {
      Access::prefetch(kernel, link, epoch);
    }
    body = Access::center(kernel, link.segment);
  }
}

}  // namespace

void find_center_chain(std::span<SpkKernel> kernels, std::int32_t target, double epoch, CenterChain& chain) {
  find_links(kernels, target, epoch, nullptr, chain);
}

void find_center_chain_near(std::span<SpkKernel> kernels, const CenterChain& near, double epoch, CenterChain& chain) {
  find_links(kernels, near.target, epoch, &near, chain);
}

std::expected<StateVector, SpkError> evaluate_center_chain(std::span<SpkKernel> kernels, const CenterChain& chain,
                                                           double epoch) {
  StateVector sum{};
  for (std::size_t i = 0; i < chain.count; ++i) {
    const ChainLink& link = chain.links[i];
    const bool held = Access::at_hand(kernels[link.kernel], link);
    // Two links of records of one size run side by side; the sum keeps its order.
    if (i + 1 < chain.count && held) {
      const ChainLink& next = chain.links[i + 1];
      if (Access::at_hand(kernels[next.kernel], next) && next.record_size == link.record_size) {
        StateVector pair[2];
        const double* const words[2] = {link.record, next.record};
        const Type2RecordCheck checks[2] = {*link.check, *next.check};
        const double epochs[2] = {epoch, epoch};
        if (evaluate_checked_type2_records_into(2, words, link.record_size, checks, epochs, pair)) {
          sum += pair[0];
          sum += pair[1];
          ++i;
          continue;
        }
      }
    }
    if (StateVector state; held && evaluate_checked_type2_record_into(link.record, link.record_size, *link.check,
                                                                      epoch, state)) {
      sum += state;
      continue;
    }
    if (StateVector pair[2]; i + 1 < chain.count &&
                             Access::try_evaluate_pair(kernels[link.kernel], link.segment,
                                                       kernels[chain.links[i + 1].kernel],
                                                       chain.links[i + 1].segment, epoch, pair)) {
      sum += pair[0];
      sum += pair[1];
      ++i;
      continue;
    }
    StateVector state;
    if (auto done = Access::evaluate_into(kernels[link.kernel], link.segment, epoch, state); !done) {
      return std::unexpected(done.error());
    }
    sum += state;
  }
  if (chain.stop) return std::unexpected(*chain.stop);
  return sum;
}

std::expected<std::array<double, 3>, SpkError> evaluate_center_chain_position(std::span<SpkKernel> kernels,
                                                                             const CenterChain& chain,
                                                                             double epoch) {
  std::array<double, 3> sum{};
  for (std::size_t i = 0; i < chain.count; ++i) {
    const ChainLink& link = chain.links[i];
    std::array<double, 3> position;
    if (Access::at_hand(kernels[link.kernel], link) &&
        evaluate_checked_type2_position_into(link.record, link.record_size, *link.check, epoch, position)) {
      for (int axis = 0; axis < 3; ++axis) sum[axis] += position[axis];
      continue;
    }
    if (auto done = Access::evaluate_position_into(kernels[link.kernel], link.segment, epoch, position); !done) {
      return std::unexpected(done.error());
    }
    for (int axis = 0; axis < 3; ++axis) sum[axis] += position[axis];
  }
  if (chain.stop) return std::unexpected(*chain.stop);
  return sum;
}

std::expected<StateVector, SpkError> barycentric_state_across_kernels(std::span<SpkKernel> kernels,
                                                                      std::int32_t target, double epoch) {
  CenterChain chain;
  find_center_chain(kernels, target, epoch, chain);
  return evaluate_center_chain(kernels, chain, epoch);
}

std::expected<std::array<double, 3>, SpkError> barycentric_position_across_kernels(std::span<SpkKernel> kernels,
                                                                                   std::int32_t target,
                                                                                   double epoch) {
  CenterChain chain;
  find_center_chain(kernels, target, epoch, chain);
  return evaluate_center_chain_position(kernels, chain, epoch);
}

ChainWalker::ChainWalker(std::span<SpkKernel> kernels, std::span<const double> epochs) : kernels_(kernels) {
  for (double epoch : epochs) {
    first_epoch_ = std::min(first_epoch_, epoch);
    last_epoch_ = std::max(last_epoch_, epoch);
  }
}

const ChainWalker::Body& ChainWalker::body(std::int32_t code) {
  for (const Body& known : bodies_) {
    if (known.code == code) return known;
  }
  Body found{code, false, {}};
  // Kernels in precedence order: the first that has a segment of the body
  // meeting the range must hold the whole range in one segment.
  if (first_epoch_ <= last_epoch_) {
    for (std::size_t k = 0; k < kernels_.size(); ++k) {
      const auto over = Access::find_over(kernels_[k], code, first_epoch_, last_epoch_, found.link.segment);
      if (over == Access::Over::None) continue;
      if (over == Access::Over::One) {
        found.uniform = true;
        found.link.kernel = k;
      }
      break;
    }
  }
  bodies_.push_back(found);
  return bodies_.back();
}

const ChainWalker::Plan& ChainWalker::plan(std::int32_t target) {
  for (const Plan& known : plans_) {
    if (known.target == target) return known;
  }
  Plan made{target, true, {}};
  for (std::int32_t code = target; code != kNaifSolarSystemBarycenter;) {
    const Body& link_body = body(code);
    if (made.links.size() == kMaxCenterChainLinks || !link_body.uniform) {
      made.uniform = false;  // the cycle or the lookups are left to the walk
      break;
    }
    const Link link = link_body.link;
    std::uint32_t id = 0;
    while (id < links_.size() && (links_[id].link.kernel != link.kernel || links_[id].link.segment != link.segment)) {
      ++id;
    }
    if (id == links_.size()) links_.push_back({link, 0, {}, 0, {}});
    made.links.push_back(id);
    code = Access::center(kernels_[link.kernel], link.segment);
  }
  plans_.push_back(std::move(made));
  return plans_.back();
}

bool ChainWalker::try_state(std::int32_t target, double epoch, StateVector& state) {
  if (std::bit_cast<std::uint64_t>(epoch) != std::bit_cast<std::uint64_t>(stamp_epoch_) || stamp_ == 0) {
    ++stamp_;
    stamp_epoch_ = epoch;
    memo_.clear();
  }
  const bool in_range = first_epoch_ <= epoch && epoch <= last_epoch_;
  const Plan& chain = plan(target);
  if (!chain.uniform || !in_range) {
    auto walked = walk(target, epoch, in_range);
    if (!walked) return false;
    state = *walked;
    return true;
  }
  StateVector sum{};
  for (std::uint32_t id : chain.links) {
    LinkState& link = links_[id];
    if (link.stamp != stamp_) {
      // A failure is left to the walk, which reports it.
      if (!Access::evaluate_into(kernels_[link.link.kernel], link.link.segment, epoch, link.state)) return false;
      link.stamp = stamp_;
    }
    sum += link.state;
  }
  state = sum;
  return true;
}

bool ChainWalker::try_state_lanes(std::int32_t target, int lanes, const double epochs[], StateVector states[]) {
  const Plan& chain = plan(target);
  bool together = chain.uniform && lanes >= 1 && lanes <= kMaxType2Lanes;
  for (int l = 0; together && l < lanes; ++l) together = first_epoch_ <= epochs[l] && epochs[l] <= last_epoch_;
  if (!together) {
    for (int l = 0; l < lanes; ++l) {
      if (!try_state(target, epochs[l], states[l])) return false;
    }
    return true;
  }
  bool same = lanes_stamp_ != 0 && lanes == lanes_count_;
  for (int l = 0; same && l < lanes; ++l) {
    same = std::bit_cast<std::uint64_t>(epochs[l]) == std::bit_cast<std::uint64_t>(lanes_epochs_[l]);
  }
  if (!same) {
    ++lanes_stamp_;
    lanes_count_ = lanes;
    std::copy(epochs, epochs + lanes, lanes_epochs_);
  }
  // The sums, made in place from zero (the first link added to a zero
  // state in registers rather than to a cleared array).
  if (chain.links.empty()) std::fill(states, states + lanes, StateVector{});
  bool first = true;
  for (const std::uint32_t id : chain.links) {
    LinkState& link = links_[id];
    if (link.lanes_stamp != lanes_stamp_) {
      SpkKernel& kernel = kernels_[link.link.kernel];
      if (!Access::try_evaluate_lanes(kernel, link.link.segment, lanes, epochs, link.lanes)) {
        for (int l = 0; l < lanes; ++l) {
          if (!Access::evaluate_into(kernel, link.link.segment, epochs[l], link.lanes[l])) return false;
        }
      }
      link.lanes_stamp = lanes_stamp_;
    }
    for (int l = 0; l < lanes; ++l) states[l] = first ? StateVector{} + link.lanes[l] : states[l] + link.lanes[l];
    first = false;
  }
  return true;
}

std::expected<StateVector, SpkError> ChainWalker::state(std::int32_t target, double epoch) {
  StateVector state;
  if (try_state(target, epoch, state)) return state;
  return walk(target, epoch, first_epoch_ <= epoch && epoch <= last_epoch_);
}

std::expected<StateVector, SpkError> ChainWalker::walk(std::int32_t target, double epoch, bool in_range) {
  StateVector sum{};
  std::int32_t code = target;
  unsigned links = 0;
  while (code != kNaifSolarSystemBarycenter) {
    if (++links > kMaxCenterChainLinks) return std::unexpected(SpkError::center_chain_cycle(target));
    Link link{};
    if (const Body& known = body(code); known.uniform && in_range) {
      link = known.link;
    } else {
      if (auto found = find_across_kernels(kernels_, code, epoch, link.kernel, link.segment); !found) {
        return std::unexpected(found.error());
      }
    }
    const auto memo = std::find_if(memo_.begin(), memo_.end(), [&](const Evaluated& e) {
      return e.link.kernel == link.kernel && e.link.segment == link.segment;
    });
    if (memo != memo_.end()) {
      sum += memo->state;
    } else {
      const auto state = Access::evaluate(kernels_[link.kernel], link.segment, epoch);
      if (!state) return std::unexpected(state.error());
      memo_.push_back({link, *state});
      sum += *state;
    }
    code = Access::center(kernels_[link.kernel], link.segment);
  }
  return sum;
}

std::vector<std::size_t> evaluation_order(std::span<const double> epochs) {
  const std::size_t n = epochs.size();
  std::vector<std::size_t> order(n);
  double first = std::numeric_limits<double>::infinity();
  double last = -first;
  bool sorted = true;
  for (std::size_t i = 0; i < n; ++i) {
    order[i] = i;
    const double epoch = epochs[i];
    if (i > 0 && !(epochs[i - 1] <= epoch)) sorted = false;
    if (std::isfinite(epoch)) {
      first = std::min(first, epoch);
      last = std::max(last, epoch);
    }
  }
  if (sorted || !(first < last)) return order;
  // Bucket b holds the epochs of [first + b w, first + (b + 1) w), w = (last - first) / n.
  const double scale = static_cast<double>(n) / (last - first);
  const auto bucket = [&](double epoch) -> std::size_t {
    const double x = (epoch - first) * scale;
    if (!(x > 0.0)) return 0;  // NaN too
    return x >= static_cast<double>(n - 1) ? n - 1 : static_cast<std::size_t>(x);
  };
  std::vector<std::size_t> starts(n + 1, 0);
  for (double epoch : epochs) ++starts[bucket(epoch) + 1];
  for (std::size_t b = 1; b <= n; ++b) starts[b] += starts[b - 1];
  for (std::size_t i = 0; i < n; ++i) order[starts[bucket(epochs[i])]++] = i;
  return order;
}

}  // namespace ephemeris
