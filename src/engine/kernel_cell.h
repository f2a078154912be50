// The engine's kernel list behind a single-owner borrow guard. Evaluation fills
// the kernels' caches and moves their read positions, so exactly one
// evaluation at a time may hold the list; a nested borrow is refused with an
// error instead of letting two walks interleave on the same caches.
#pragma once

#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "spk/spk_kernel.h"

namespace ephemeris {

class KernelCell {
 public:
  // Exclusive access to the list for the guard's lifetime.
  class Borrow {
   public:
    Borrow(const Borrow&) = delete;
    Borrow& operator=(const Borrow&) = delete;
    Borrow(Borrow&& other) noexcept : cell_(std::exchange(other.cell_, nullptr)) {}
    Borrow& operator=(Borrow&&) = delete;
    ~Borrow() {
      if (cell_ != nullptr) cell_->borrowed_ = false;
    }
    std::span<SpkKernel> kernels() const { return cell_->kernels_; }

   private:
    friend class KernelCell;
    explicit Borrow(KernelCell* cell) : cell_(cell) { cell_->borrowed_ = true; }
    KernelCell* cell_;
  };

  KernelCell() = default;
  explicit KernelCell(std::vector<SpkKernel> kernels) : kernels_(std::move(kernels)) {}
  KernelCell(KernelCell&& other) noexcept : kernels_(std::move(other.kernels_)) {}
  KernelCell& operator=(KernelCell&& other) noexcept {
    kernels_ = std::move(other.kernels_);
    return *this;
  }

  // The borrow, or nothing when another borrow is alive.
  std::optional<Borrow> try_borrow() {
    if (borrowed_) return std::nullopt;
    return Borrow(this);
  }

  // Appends a kernel; only between borrows.
  void push_back(SpkKernel kernel) { kernels_.push_back(std::move(kernel)); }
  std::size_t size() const { return kernels_.size(); }

 private:
  std::vector<SpkKernel> kernels_;
  bool borrowed_ = false;
};

}  // namespace ephemeris
