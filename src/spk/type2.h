// SPK Type 2 segments: Chebyshev polynomials of position over fixed-length
// intervals, velocity being their analytic derivative.
//
// Segment data: N records of RSIZE words each, then the 4-word directory
// INIT, INTLEN, RSIZE, N. A record is MID, RADIUS and then n = (RSIZE - 2) / 3
// coefficients of x, of y and of z, lowest degree first.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <span>
#include <vector>

#include "core/cartesian_state.h"
#include "spk/daf.h"
#include "spk/spk_error.h"

namespace ephemeris {

// One evaluated state: km and km/s. The all-zero value starts every sum.
using StateVector = CartesianState;

inline constexpr std::int32_t kSpkType2 = 2;

// The most Chebyshev coefficients per component a record may hold (degree
// 1023), far beyond any published kernel: DE421 holds at most 14 (Mercury),
// DE441's largest record is 3 * 15 + 2 = 47 words. The bound keeps one record
// load at most 3 * 1024 + 2 words (24,592 bytes), so a directory announcing a
// record of gigabytes is refused before anything is allocated or read.
inline constexpr std::uint32_t kMaxType2Coefficients = 1024;

// Decoded directory of one segment.
struct Type2Directory {
  double init = 0;                 // TDB seconds past J2000 where record 0 begins
  double interval_length = 0;      // seconds, > 0
  std::uint32_t record_size = 0;   // words per record, >= 5, (record_size - 2) % 3 == 0
  std::uint32_t record_count = 0;  // >= 1
  friend bool operator==(const Type2Directory&, const Type2Directory&) = default;
};

// What loading a record establishes once, so that each evaluation of it
// needs no scan of its words.
struct Type2RecordCheck {
  bool span_valid = false;           // MID and RADIUS finite, RADIUS > 0
  bool coefficients_finite = false;  // the 3n coefficient words finite
};

// What evaluation needs to know of one segment.
struct SegmentLoc {
  double start_seconds = 0;  // coverage, TDB seconds past J2000, both ends included
  double end_seconds = 0;
  std::int32_t center = 0;
  std::int32_t data_type = 0;
  std::int32_t start_address = 0;
  std::int32_t end_address = 0;

  static SegmentLoc from_segment(const SpkSegment& segment) {
    return {segment.start_seconds, segment.end_seconds, segment.center,
            segment.data_type,     segment.start_address, segment.end_address};
  }
};

// Word address of the directory (end_address - 3), or InvalidType2Segment
// "segment is too short to contain a directory" when it would overflow.
std::expected<std::int32_t, SpkError> type2_directory_address(const SegmentLoc& segment);

// Validates the 4 directory words (INIT, INTLEN, RSIZE, N) against the
// segment's address range; RSIZE may describe at most kMaxType2Coefficients
// coefficients per component.
std::expected<Type2Directory, SpkError> validate_type2_directory(std::span<const double, 4> words,
                                                                 const SegmentLoc& segment);

// Index of the record serving `epoch` (TDB seconds). An epoch exactly at the
// end of the last interval belongs to the last record.
std::expected<std::uint32_t, SpkError> type2_record_index(const Type2Directory& directory, double epoch);

// The same as a flag: false where type2_record_index fails.
bool find_type2_record_index(const Type2Directory& directory, double epoch, std::uint32_t& index);

// Word address of record `record_index` (start_address + index * RSIZE).
std::expected<std::int32_t, SpkError> type2_record_address(const SegmentLoc& segment,
                                                           const Type2Directory& directory,
                                                           std::uint32_t record_index);

// The checks of one record of `record_size` words (at least 2).
Type2RecordCheck check_type2_record(const double* record, std::uint32_t record_size);

// Evaluates one record at `epoch` (TDB seconds): position in km from the
// Chebyshev sums, velocity in km/s from their derivatives. `record` must hold
// at least `record_size` words. Errors in this order: the record's length,
// its MID and RADIUS, the epoch's coverage, its coefficients.
std::expected<StateVector, SpkError> evaluate_loaded_type2_record(std::span<const double> record,
                                                                  std::uint32_t record_size, double epoch);

// The same for a record of `record_size` words (at least 2) whose checks were
// made when it was loaded: the same results and errors, without the scan.
std::expected<StateVector, SpkError> evaluate_checked_type2_record(const double* record, std::uint32_t record_size,
                                                                   Type2RecordCheck check, double epoch);

// The same into `state`, false where evaluate_checked_type2_record fails.
bool evaluate_checked_type2_record_into(const double* record, std::uint32_t record_size, Type2RecordCheck check,
                                        double epoch, StateVector& state);

// The position alone of evaluate_checked_type2_record_into (the same
// operations, so the same bits), false where it fails.
bool evaluate_checked_type2_position_into(const double* record, std::uint32_t record_size, Type2RecordCheck check,
                                          double epoch, std::array<double, 3>& position);

// The same for `lanes` records (2, or 4 or 8 where has_wide_type2_lanes())
// of `record_size` words at one epoch each, evaluated side by side (each
// with the operations of the single form, in its order, so the same bits;
// eight lanes are two independent AVX2 chains, which hides the latency of
// the recurrence); false when any fails or holds one coefficient per axis
// (the single form then serves each).
inline constexpr int kMaxType2Lanes = 8;
bool evaluate_checked_type2_records_into(int lanes, const double* const records[], std::uint32_t record_size,
                                         const Type2RecordCheck checks[], const double epochs[],
                                         StateVector states[]);

// True when this processor runs four or eight lanes at once (AVX2).
bool has_wide_type2_lanes();

}  // namespace ephemeris
