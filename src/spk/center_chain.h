// States relative to the solar-system barycentre, found by following each
// body's chain of centres segment by segment across an ordered list of
// kernels (the primary kernel first).
//
// Precedence: kernels in list order, and within a kernel its segments from
// the last in file order to the first; the first segment whose target is the
// body and whose coverage holds the epoch (both ends included) is used.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "spk/spk_error.h"
#include "spk/spk_kernel.h"
#include "spk/type2.h"

namespace ephemeris {

// A chain may have at most this many links (segments) before it counts as a cycle.
inline constexpr unsigned kMaxCenterChainLinks = 32;

// States of `target` relative to the solar-system barycentre (code 0) at each
// epoch (TDB seconds past J2000), in epoch order; km and km/s, each bit for
// bit barycentric_state_across_kernels's. Errors: that of the first epoch
// that fails alone. Target 0 gives zero states without reading.
std::expected<std::vector<StateVector>, SpkError> barycentric_states_across_kernels(
    std::span<SpkKernel> kernels, std::int32_t target, std::span<const double> epochs);

// The same for one epoch, bit for bit equal to a one-element batch; it does
// no hash-map work and no allocation once the records it needs are cached.
std::expected<StateVector, SpkError> barycentric_state_across_kernels(std::span<SpkKernel> kernels,
                                                                      std::int32_t target, double epoch);

// Its position alone, bit for bit, with its errors; km.
std::expected<std::array<double, 3>, SpkError> barycentric_position_across_kernels(std::span<SpkKernel> kernels,
                                                                                   std::int32_t target,
                                                                                   double epoch);

// Where a link's segment was found: kernel index and segment index, and the
// cached record serving the epoch when one was at hand (`record` null when
// not; `record_size`, `record_index` and `check` set only when it is not),
// valid while the kernel's record reads stay at `reads`. Left uninitialized
// (a chain holds 32).
struct ChainLink {
  std::size_t kernel;
  std::size_t segment;
  const double* record;
  std::uint32_t record_size;
  std::uint32_t record_index;
  const Type2RecordCheck* check;
  std::uint64_t reads;
};

// The chain of centres of `target` found at one epoch: its first `count`
// links in walk order (the others are left unset) and, when the walk ended
// early, the failure (it counts after the links before it).
struct CenterChain {
  CenterChain() {}  // user-provided, so that a value-initialized chain leaves `links` unset too
  std::int32_t target = 0;
  std::size_t count = 0;
  std::array<ChainLink, kMaxCenterChainLinks> links;
  std::optional<SpkError> stop;
};

// Into `chain`: the chain barycentric_state_across_kernels walks for
// `target` at `epoch`, with the processor asked to fetch the cached records
// of its links, so that their loads overlap the work done before
// evaluate_center_chain.
void find_center_chain(std::span<SpkKernel> kernels, std::int32_t target, double epoch, CenterChain& chain);
// The same where `near` is the chain of `target` found at a nearby epoch (a
// light time earlier or later): each link is looked up alike, and one found
// on the segment and record of near's link takes near's record as it is,
// without asking for it again.
void find_center_chain_near(std::span<SpkKernel> kernels, const CenterChain& near, double epoch, CenterChain& chain);

// barycentric_state_across_kernels at `epoch` from `chain` found at `epoch`
// (bit for bit, with its errors), and its position alone.
std::expected<StateVector, SpkError> evaluate_center_chain(std::span<SpkKernel> kernels, const CenterChain& chain,
                                                           double epoch);
std::expected<std::array<double, 3>, SpkError> evaluate_center_chain_position(std::span<SpkKernel> kernels,
                                                                             const CenterChain& chain,
                                                                             double epoch);

// Barycentric states of several targets at many epochs of one batch, each bit
// for bit barycentric_state_across_kernels's, with its errors. A body whose
// segment is the same over the whole epoch range given at construction is
// looked up once; at one epoch, a link shared by several chains (the
// Earth-Moon barycentre of the Earth and of the Moon) is evaluated once. The
// kernels must outlive the walker.
class ChainWalker {
 public:
  // `epochs` are the epochs to come (TDB seconds): their span decides which
  // segments serve the whole walk; other epochs are served too, by a lookup each.
  ChainWalker(std::span<SpkKernel> kernels, std::span<const double> epochs);

  std::expected<StateVector, SpkError> state(std::int32_t target, double epoch);
  // The same into `state`; false where state() fails (it gives the error).
  bool try_state(std::int32_t target, double epoch, StateVector& state);
  // try_state at `lanes` epochs (2, or 4 or 8 where has_wide_type2_lanes()),
  // their links evaluated side by side.
  bool try_state_lanes(std::int32_t target, int lanes, const double epochs[], StateVector states[]);

 private:
  struct Link {
    std::size_t kernel;
    std::size_t segment;
  };
  struct Body {
    std::int32_t code;
    bool uniform;  // `link` serves the whole range
    Link link;
  };
  struct Evaluated {
    Link link;
    StateVector state;
  };
  // A target's chain when every link serves the whole range: link ids
  // (indices into links_) in walk order.
  struct Plan {
    std::int32_t target;
    bool uniform;
    std::vector<std::uint32_t> links;
  };
  struct LinkState {
    Link link;
    std::uint64_t stamp;  // the epoch count `state` belongs to
    StateVector state;
    std::uint64_t lanes_stamp = 0;  // the group count `lanes` belongs to
    StateVector lanes[kMaxType2Lanes];
  };
  const Body& body(std::int32_t code);
  const Plan& plan(std::int32_t target);
  std::expected<StateVector, SpkError> walk(std::int32_t target, double epoch, bool in_range);

  std::span<SpkKernel> kernels_;
  double first_epoch_ = std::numeric_limits<double>::infinity();
  double last_epoch_ = -std::numeric_limits<double>::infinity();
  std::vector<Body> bodies_;
  std::vector<Plan> plans_;
  std::vector<LinkState> links_;
  std::uint64_t stamp_ = 0;  // counts the epochs seen
  double stamp_epoch_ = 0;   // the epoch of stamp_ and memo_ (compared bit for bit)
  std::vector<Evaluated> memo_;
  std::uint64_t lanes_stamp_ = 0;  // counts the groups of epochs seen
  int lanes_count_ = 0;
  double lanes_epochs_[kMaxType2Lanes] = {};
};

// Positions 0 .. n-1 of `epochs` in an order that walks time forwards (a
// counting sort into n equal time buckets, stable within a bucket; epochs
// already in order keep it; NaN and -infinity go to the first bucket,
// +infinity to the last), so that a walk in
// this order meets each segment's records in sequence.
std::vector<std::size_t> evaluation_order(std::span<const double> epochs);

}  // namespace ephemeris
