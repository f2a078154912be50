// The shared/exclusive access marker of an Engine object: methods that replace
// the engine take the object exclusively, every other method takes it shared.
// Two uses can only overlap through re-entry (Python code run while a method
// converts its arguments), and such a conflict is refused instead of letting a
// replacement pull the engine out from under a running computation. The
// marker is one atomic counter, so it also holds on an interpreter without a
// global lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <expected>
#include <string_view>
#include <utility>

namespace ephemeris {

inline constexpr std::string_view kAlreadyBorrowedMessage = "Already borrowed";
inline constexpr std::string_view kAlreadyMutablyBorrowedMessage = "Already mutably borrowed";

class AccessMarker {
 public:
  // One taken access, given back when the guard is dropped.
  class Guard {
   public:
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
    Guard(Guard&& other) noexcept : marker_(std::exchange(other.marker_, nullptr)), exclusive_(other.exclusive_) {}
    Guard& operator=(Guard&&) = delete;
    ~Guard() {
      if (marker_ == nullptr) return;
      if (exclusive_) {
        marker_->state_.store(kFree, std::memory_order_release);
      } else {
        marker_->state_.fetch_sub(1, std::memory_order_release);
      }
    }
    bool exclusive() const { return exclusive_; }

   private:
    friend class AccessMarker;
    Guard(AccessMarker* marker, bool exclusive) : marker_(marker), exclusive_(exclusive) {}
    AccessMarker* marker_;
    bool exclusive_;
  };

  AccessMarker() = default;
  AccessMarker(const AccessMarker&) = delete;
  AccessMarker& operator=(const AccessMarker&) = delete;

  // Shared access, held together with any number of other shared uses.
  // Refused with "Already mutably borrowed" during an exclusive use.
  std::expected<Guard, std::string_view> share() {
    std::int64_t current = state_.load(std::memory_order_relaxed);
    while (true) {
      if (current == kExclusive) return std::unexpected(kAlreadyMutablyBorrowedMessage);
      if (state_.compare_exchange_weak(current, current + 1, std::memory_order_acquire, std::memory_order_relaxed)) {
        return Guard(this, false);
      }
    }
  }

  // Exclusive access. Refused with "Already borrowed" while any other use
  // (shared or exclusive) is held.
  std::expected<Guard, std::string_view> take_exclusive() {
    std::int64_t expected = kFree;
    if (!state_.compare_exchange_strong(expected, kExclusive, std::memory_order_acquire, std::memory_order_relaxed)) {
      return std::unexpected(kAlreadyBorrowedMessage);
    }
    return Guard(this, true);
  }

  // Number of shared uses held, or -1 during an exclusive use.
  std::int64_t state() const { return state_.load(std::memory_order_relaxed); }

 private:
  static constexpr std::int64_t kFree = 0;
  static constexpr std::int64_t kExclusive = -1;
  std::atomic<std::int64_t> state_{kFree};
};

}  // namespace ephemeris
