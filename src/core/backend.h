// The interface through which callers ask an ephemeris for positions.
#pragma once

#include <expected>
#include <span>
#include <vector>

#include "core/body.h"
#include "core/errors.h"
#include "core/position.h"
#include "core/position_options.h"
#include "core/time_scale.h"

namespace ephemeris {

class EphemerisBackend {
 public:
  virtual ~EphemerisBackend() = default;

  // One spherical position of `body` at `instant`.
  virtual std::expected<Position, EphemerisError> position(Body body, const Instant& instant,
                                                           const PositionOptions& options) const = 0;

  // Every (instant, body) pair, instant-major: body j at instant i is element
  // i * bodies.size() + j. The first error aborts the whole batch.
  virtual std::expected<std::vector<Position>, EphemerisError> positions(std::span<const Body> bodies,
                                                                         std::span<const Instant> instants,
                                                                         const PositionOptions& options) const = 0;
};

}  // namespace ephemeris
