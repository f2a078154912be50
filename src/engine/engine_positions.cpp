// Single and batch position requests of the engine.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
#include <variant>
#include <vector>

#include "core/body.h"
#include "core/julian_day.h"
#include "engine/engine.h"
#include "engine/position_request.h"
#include "engine/relative_state.h"
#include "spk/center_chain.h"

namespace ephemeris {
namespace {

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

enum class FastBatch : std::uint8_t { Done, Failed, Interrupted };

// The uncorrected batch: the instants walked forwards in time (so that each
// record block is met in sequence), each body's segment looked up once for
// the batch, links shared by several chains at one instant evaluated once,
// and each position written in its place in `out` (instant-major), bit for
// bit position()'s. Failed on any failure, leaving the batch to the general
// path, which reports the first failure in batch order.
FastBatch geometric_batch(std::span<SpkKernel> kernels, const PositionOptions& options, std::int32_t center,
                          std::span<const std::int32_t> targets, std::span<const double> epochs,
                          std::span<const CartesianState> offsets, const InterruptCheck& interrupt,
                          std::span<Position> out) {
  ChainWalker walker(kernels, epochs);
  const std::vector<std::size_t> order = evaluation_order(epochs);
  const std::size_t n_bodies = targets.size();
  const bool topocentric = !offsets.empty();
  // A J2000 frame is the same at every instant; the rotation of date is made per instant.
  const bool of_date = options.reference_epoch == ReferenceEpoch::OfDate;
  const bool ecliptic = !of_date && std::holds_alternative<J2000Ecliptic>(output_frame(options, kJ2000JulianDay));
  // Groups of instants (eight with AVX2, else two), so that their Chebyshev
  // series and spherical conversions run side by side.
  const std::size_t group = has_wide_type2_lanes() ? 8 : 2;
  // Per group, declared once (their default member initialisers would
  // otherwise clear them at every group).
  StateVector observer[kMaxType2Lanes];
  StateVector target[kMaxType2Lanes];
  CartesianState rotated[kMaxType2Lanes];
  SphericalCoordinates spherical[kMaxType2Lanes];
  std::optional<OfDateRotation> rotation[kMaxType2Lanes];
  std::size_t next_poll = 0;
  for (std::size_t j = 0; j < order.size();) {
    if (j >= next_poll) {
      next_poll += kEpochsPerInterruptPoll;
      if (interrupt.stop(0, 1)) return FastBatch::Interrupted;
    }
    std::size_t lanes = group;  // then halved down to what remains
    while (lanes > order.size() - j) lanes /= 2;
    std::size_t at[kMaxType2Lanes];
    double lane_epochs[kMaxType2Lanes];
    for (std::size_t l = 0; l < lanes; ++l) {
      at[l] = order[j + l];
      lane_epochs[l] = epochs[at[l]];
      if (const std::size_t ahead = j + l + 8; ahead < order.size()) {  // the scattered reads and writes
        __builtin_prefetch(&epochs[order[ahead]]);
        __builtin_prefetch(out.data() + order[ahead] * n_bodies, 1);
      }
    }
    j += lanes;
    const auto states = [&](std::int32_t code, StateVector state[]) {
      return lanes == 1 ? walker.try_state(code, lane_epochs[0], state[0])
                        : walker.try_state_lanes(code, static_cast<int>(lanes), lane_epochs, state);
    };
    if (!states(center, observer)) return FastBatch::Failed;
    for (std::size_t l = 0; l < lanes; ++l) {
      if (topocentric) observer[l] += offsets[at[l]];
      if (of_date) {
        const double jd_tdb = julian_day_from_seconds_since_j2000(lane_epochs[l]);
        rotation[l] = std::get<OfDateRotation>(output_frame(options, jd_tdb));
      }
    }
    for (std::size_t k = 0; k < n_bodies; ++k) {
      if (!states(targets[k], target)) return FastBatch::Failed;
      // position_from_state's steps, the spherical conversions side by side.
      for (std::size_t l = 0; l < lanes; ++l) {
        const CartesianState relative = target[l] - observer[l];
        if (of_date) {
          const auto turned = rotation[l]->apply(relative);
          if (!turned) return FastBatch::Failed;
          rotated[l] = *turned;
        } else {
          rotated[l] = ecliptic ? rotated_to_j2000_ecliptic(relative) : relative;
        }
      }
      for (std::size_t l = 0; l < lanes; l += kSphericalLanes) {
        const int count = static_cast<int>(std::min<std::size_t>(kSphericalLanes, lanes - l));
        if (!to_spherical_lanes(count, rotated + l, spherical + l)) return FastBatch::Failed;
      }
      for (std::size_t l = 0; l < lanes; ++l) {
        out[at[l] * n_bodies + k] = position_from_spherical(spherical[l]);
      }
    }
  }
  return FastBatch::Done;
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
  // The kernels are borrowed here, so that the records of the first body's
  // chains are fetched while the frame is built; a failed borrow is reported
  // once a body needs them.
  auto borrow = borrow_kernels();
  // The observer and the Sun, shared by the bodies.
  EpochLinks links(borrow ? borrow->kernels() : std::span<SpkKernel>{}, center, offset, *t);
  if (borrow && !bodies.empty()) links.plan(naif_code(bodies[0]), options->corrections.gravitational_deflection);
  const OutputFrame frame = output_frame(*options, julian_day_from_seconds_since_j2000(*t));
  for (std::size_t k = 0; k < bodies.size(); ++k) {
    const std::int32_t target = naif_code(bodies[k]);
    // A topocentric request for the Earth is valid: the geocentre seen from the site.
    if (!offset) {
      if (auto same = reject_identical_target_and_center(target, center); !same) return std::unexpected(same.error());
    }
    if (!borrow) return std::unexpected(borrow.error());
    const auto state = resolve_relative_state(links, target, options->corrections);
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
  std::vector<Position> result;
  const Room room{[](void* context, std::size_t count) {
                    auto& vector = *static_cast<std::vector<Position>*>(context);
                    vector.resize(count);
                    return std::span<Position>(vector);
                  },
                  &result};
  if (auto done = positions(bodies, instants, requested, interrupt, room); !done) return std::unexpected(done.error());
  return result;
}

std::expected<void, EphemerisError> SpkEphemeris::positions(std::span<const Body> bodies,
                                                            std::span<const Instant> instants,
                                                            const PositionOptions& requested, InterruptCheck interrupt,
                                                            Room room) const {
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

  const std::span<Position> result = room.give(room.context, static_cast<std::size_t>(*count));
  if (result.size() != *count) return std::unexpected(EphemerisError::interrupted());
  auto borrow = borrow_kernels();
  if (!borrow) return std::unexpected(borrow.error());
  const std::span<SpkKernel> kernels = borrow->kernels();

  const bool corrected = changes_state(options->corrections);
  if (!corrected) {
    switch (geometric_batch(kernels, *options, center, targets, epochs, offsets, interrupt, result)) {
      case FastBatch::Done: return {};
      case FastBatch::Interrupted: return std::unexpected(EphemerisError::interrupted());
      case FastBatch::Failed: break;  // the failure is found below, as position() meets it
    }
  }
  // General path. Corrected instants are taken in time order, so that
  // instants close in time share the records each segment keeps, and each
  // instant's observer and Sun serve all its bodies. A failure is found again
  // in instant order, so that the error is that of the first failing position.
  std::vector<std::size_t> order(epochs.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (corrected) order = evaluation_order(epochs);
  const bool reordered = !std::ranges::is_sorted(order);
  auto done = corrected_positions(kernels, targets, center, *options, epochs, offsets, order, interrupt, result);
  if (!done && reordered && done.error().kind() != EphemerisError::Kind::Interrupted) {
    std::iota(order.begin(), order.end(), std::size_t{0});
    done = corrected_positions(kernels, targets, center, *options, epochs, offsets, order, interrupt, result);
  }
  if (!done) return std::unexpected(done.error());
  return {};
}

}  // namespace ephemeris
