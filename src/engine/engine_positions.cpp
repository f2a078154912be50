// Single and batch position requests of the engine.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
#include <vector>

#include "core/body.h"
#include "core/julian_day.h"
#include "engine/engine.h"
#include "engine/position_request.h"
#include "engine/relative_state.h"
#include "spk/center_chain.h"

namespace ephemeris {
namespace {

// Instants sorted together on the corrected path: about a second's work and
// a few milliseconds of sorting.
constexpr std::size_t kInstantsPerSortedBlock = std::size_t{1} << 16;

bool changes_state(const Corrections& c) { return c.light_time || c.aberration || c.gravitational_deflection; }

// The corrected positions of `targets` at the instants `order` lists (indices
// into `epochs` and, when topocentric, `offsets`), each written to `out` at
// its place in instant-major order. Stops at the first failure in `order`.
std::expected<void, EphemerisError> corrected_positions(std::span<SpkKernel> kernels,
                                                        std::span<const std::int32_t> targets, std::int32_t center,
                                                        const PositionOptions& options,
                                                        std::span<const double> epochs,
                                                        std::span<const CartesianState> offsets,
                                                        std::span<const std::size_t> order, InterruptCheck interrupt,
                                                        std::span<Position> out) {
  std::size_t done = 0;
  std::optional<CartesianState> offset;
  for (const std::size_t i : order) {
    const OutputFrame frame = output_frame(options, julian_day_from_seconds_since_j2000(epochs[i]));
    if (!offsets.empty()) offset = offsets[i];
    EpochLinks links(kernels, center, offset, epochs[i]);
    for (std::size_t k = 0; k < targets.size(); ++k, ++done) {
      if (interrupt.stop(done, kPositionsPerInterruptPoll)) return std::unexpected(EphemerisError::interrupted());
      const auto state = resolve_relative_state(links, targets[k], options.corrections);
      if (!state) return std::unexpected(spk_ephemeris_error(state.error()));
      auto position = position_from_state(*state, frame);
      if (!position) return std::unexpected(position.error());
      out[i * targets.size() + k] = *position;
    }
  }
  return {};
}

}  // namespace

std::expected<std::uint64_t, EphemerisError> batch_result_length(std::uint64_t n_bodies, std::uint64_t n_instants) {
  if (n_bodies != 0 && n_instants > std::numeric_limits<std::uint64_t>::max() / n_bodies) {
    return std::unexpected(EphemerisError::invalid_request("batch result length overflowed"));
  }
  return n_bodies * n_instants;
}

std::expected<Position, EphemerisError> SpkEphemeris::position(Body body, const Instant& instant,
                                                               const PositionOptions& requested) const {
  Position result;
  if (auto done = positions_at_instant(std::span(&body, 1), instant, requested, std::span(&result, 1)); !done) {
    return std::unexpected(done.error());
  }
  return result;
}

std::expected<void, EphemerisError> SpkEphemeris::positions_at_instant(std::span<const Body> bodies,
                                                                       const Instant& instant,
                                                                       const PositionOptions& requested,
                                                                       std::span<Position> out,
                                                                       SiteAtInstant* site) const {
  const auto options = resolve_position_options(requested);
  if (!options) return std::unexpected(options.error());
  const bool topocentric = options->origin.kind == OriginKind::Topocentric;
  // A topocentric request at a UT1 instant converts its day to UTC once.
  const auto times = topocentric && instant.time_scale == TimeScale::Ut1 ? time_.ut1_day_times(instant.julian_day)
                                                                         : std::nullopt;
  const auto t = times ? in_supported_range(instant, times->tdb_seconds) : tdb_seconds(instant);
  if (!t) return std::unexpected(t.error());

  const std::int32_t center = center_code(options->origin.kind);
  std::optional<CartesianState> offset;
  if (topocentric) {
    auto turned = times ? turn_site(options->origin.observer, times->epochs, times->pole_arcsec)
                        : site_at(options->origin.observer, instant);
    if (!turned) return std::unexpected(turned.error());
    offset = turned->gcrs_state;
    if (site != nullptr) *site = *turned;
  }
  const OutputFrame frame = output_frame(*options, julian_day_from_seconds_since_j2000(*t));
  std::optional<KernelCell::Borrow> borrow;
  std::optional<EpochLinks> links;  // the observer and the Sun, shared by the bodies
  for (std::size_t k = 0; k < bodies.size(); ++k) {
    const std::int32_t target = naif_code(bodies[k]);
    // A topocentric request for the Earth is valid: the geocentre seen from the site.
    if (!offset) {
      if (auto same = reject_identical_target_and_center(target, center); !same) return std::unexpected(same.error());
    }
    if (!borrow) {
      auto borrowed = borrow_kernels();
      if (!borrowed) return std::unexpected(borrowed.error());
      borrow.emplace(std::move(*borrowed));
      links.emplace(borrow->kernels(), center, offset, *t);
    }
    const auto state = resolve_relative_state(*links, target, options->corrections);
    if (!state) return std::unexpected(spk_ephemeris_error(state.error()));
    auto position = position_from_state(*state, frame);
    if (!position) return std::unexpected(position.error());
    out[k] = *position;
  }
  return {};
}

std::expected<std::vector<Position>, EphemerisError> SpkEphemeris::positions(std::span<const Body> bodies,
                                                                             std::span<const Instant> instants,
                                                                             const PositionOptions& requested) const {
  return positions(bodies, instants, requested, InterruptCheck{});
}

std::expected<std::vector<Position>, EphemerisError> SpkEphemeris::positions(std::span<const Body> bodies,
                                                                             std::span<const Instant> instants,
                                                                             const PositionOptions& requested,
                                                                             InterruptCheck interrupt) const {
  const auto options = resolve_position_options(requested);
  if (!options) return std::unexpected(options.error());
  const auto count = batch_result_length(bodies.size(), instants.size());
  if (!count) return std::unexpected(count.error());

  const bool topocentric = options->origin.kind == OriginKind::Topocentric;
  const std::int32_t center = center_code(options->origin.kind);
  std::vector<std::int32_t> targets;
  targets.reserve(bodies.size());
  for (Body body : bodies) targets.push_back(naif_code(body));
  if (!topocentric) {
    for (std::int32_t target : targets) {
      if (auto same = reject_identical_target_and_center(target, center); !same) return std::unexpected(same.error());
    }
  }

  std::vector<double> epochs;
  epochs.reserve(instants.size());
  std::vector<CartesianState> offsets;
  if (topocentric) offsets.reserve(instants.size());
  for (std::size_t i = 0; i < instants.size(); ++i) {
    if (interrupt.stop(i, kPositionsPerInterruptPoll)) return std::unexpected(EphemerisError::interrupted());
    const Instant& instant = instants[i];
    const auto t = tdb_seconds(instant);
    if (!t) return std::unexpected(t.error());
    epochs.push_back(*t);
    if (topocentric) {
      auto site = observer_gcrs_state(options->origin.observer, instant);
      if (!site) return std::unexpected(site.error());
      offsets.push_back(*site);
    }
  }

  std::vector<Position> result;
  result.reserve(static_cast<std::size_t>(*count));
  auto borrow = borrow_kernels();
  if (!borrow) return std::unexpected(borrow.error());
  const std::span<SpkKernel> kernels = borrow->kernels();

  if (changes_state(options->corrections)) {
    // General path. The instants are taken in time order, so that instants
    // close in time share the records each segment keeps, and each instant's
    // observer and Sun serve all its bodies. A failure is found again in
    // instant order, so that the error is that of the first failing position.
    result.resize(static_cast<std::size_t>(*count));
    // Sorted a block at a time, so that the interrupt is polled between sorts.
    std::vector<std::size_t> order(epochs.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto earlier = [&](std::size_t a, std::size_t b) { return epochs[a] < epochs[b]; };
    bool reordered = false;
    for (std::size_t first = 0; first < order.size(); first += kInstantsPerSortedBlock) {
      if (interrupt.stop(0, 1)) return std::unexpected(EphemerisError::interrupted());
      const auto block = std::span(order).subspan(first, std::min(kInstantsPerSortedBlock, order.size() - first));
      if (std::ranges::is_sorted(block, earlier)) continue;
      std::ranges::stable_sort(block, earlier);
      reordered = true;
    }
    auto done = corrected_positions(kernels, targets, center, *options, epochs, offsets, order, interrupt, result);
    if (!done && reordered && done.error().kind() != EphemerisError::Kind::Interrupted) {
      std::iota(order.begin(), order.end(), std::size_t{0});
      done = corrected_positions(kernels, targets, center, *options, epochs, offsets, order, interrupt, result);
    }
    if (!done) return std::unexpected(done.error());
    return result;
  }

  // Fast path: every body's segments evaluated for a whole slice of epochs in
  // one call (each epoch's state does not depend on the others in its slice).
  std::vector<StateVector> center_states;
  std::vector<std::vector<StateVector>> body_states(targets.size());
  center_states.reserve(epochs.size());
  for (auto& states : body_states) states.reserve(epochs.size());
  const std::span<const double> all_epochs(epochs);
  for (std::size_t first = 0; first < epochs.size(); first += kEpochsPerInterruptPoll) {
    const auto slice = all_epochs.subspan(first, std::min(kEpochsPerInterruptPoll, epochs.size() - first));
    for (std::size_t k = 0; k <= targets.size(); ++k) {
      if (interrupt.stop(0, 1)) return std::unexpected(EphemerisError::interrupted());
      auto states = barycentric_states_across_kernels(kernels, k == 0 ? center : targets[k - 1], slice);
      if (!states) return std::unexpected(spk_ephemeris_error(states.error()));
      auto& into = k == 0 ? center_states : body_states[k - 1];
      into.insert(into.end(), states->begin(), states->end());
    }
  }
  for (std::size_t i = 0; i < epochs.size(); ++i) {
    if (interrupt.stop(i, kPositionsPerInterruptPoll)) return std::unexpected(EphemerisError::interrupted());
    const OutputFrame frame = output_frame(*options, julian_day_from_seconds_since_j2000(epochs[i]));
    CartesianState observer = center_states[i];
    if (topocentric) observer += offsets[i];
    for (const auto& states : body_states) {
      auto position = position_from_state(states[i] - observer, frame);
      if (!position) return std::unexpected(position.error());
      result.push_back(*position);
    }
  }
  return result;
}

}  // namespace ephemeris
