// The caller's way to stop long engine work (batches): a function the engine
// polls between units of work, at most a few milliseconds of work apart. The
// engine calls nothing else of the caller's; when the function answers true
// the operation returns EphemerisError::interrupted() and keeps no partial
// result, and the engine stays usable.
#pragma once

#include <cstddef>

namespace ephemeris {

class InterruptCheck {
 public:
  // Never stops.
  InterruptCheck() = default;
  // Stops when `stop_requested(context)` returns true.
  InterruptCheck(bool (*stop_requested)(void* context), void* context)
      : stop_requested_(stop_requested), context_(context) {}

  // Polls the caller once every `interval` calls (the first call polls): a
  // loop calls it once per unit of work with the unit's index.
  bool stop(std::size_t index, std::size_t interval) const {
    return stop_requested_ != nullptr && index % interval == 0 && stop_requested_(context_);
  }

 private:
  bool (*stop_requested_)(void*) = nullptr;
  void* context_ = nullptr;
};

// Positions between two polls: a corrected position costs a few microseconds.
inline constexpr std::size_t kPositionsPerInterruptPoll = 256;
// Epochs evaluated together between two polls on the uncorrected batch path
// (well under a microsecond each per body).
inline constexpr std::size_t kEpochsPerInterruptPoll = 4096;

}  // namespace ephemeris
