#include "spk/type2.h"

#include <cmath>
#include <limits>

#include "core/double_lanes.h"

namespace ephemeris {

namespace {

// Writes a state as three 16-byte stores, the shape in which a caller's sum
// (CartesianState's +=, two components to a vector) reads it back: stores of
// single components would each have to reach memory before such a load could
// take them (a store-forwarding stall of some 10 cycles per read).
[[gnu::always_inline]] inline void store_state(StateVector& state, double px, double py, double pz, double vx,
                                               double vy, double vz) {
  static_assert(sizeof(StateVector) == 6 * sizeof(double));
  const Double2 parts[3] = {{px, py}, {pz, vx}, {vy, vz}};
  __builtin_memcpy(&state, parts, sizeof parts);
}

constexpr double kMaxU32AsDouble = 4294967295.0;

bool is_whole_u32_at_least_one(double value) {
  return value >= 1.0 && value <= kMaxU32AsDouble && value == std::floor(value);
}

SpkError type2_error(std::string_view reason) { return SpkError::invalid_type2_segment(reason); }

}  // namespace

std::expected<std::int32_t, SpkError> type2_directory_address(const SegmentLoc& segment) {
  std::int32_t address = 0;
  if (__builtin_sub_overflow(segment.end_address, 3, &address)) {
    return std::unexpected(type2_error("segment is too short to contain a directory"));
  }
  return address;
}

std::expected<Type2Directory, SpkError> validate_type2_directory(std::span<const double, 4> words,
                                                                 const SegmentLoc& segment) {
  const double init = words[0];
  const double interval_length = words[1];
  const double record_size = words[2];
  const double record_count = words[3];
  if (!is_whole_u32_at_least_one(record_size)) return std::unexpected(type2_error("record size"));
  if (!is_whole_u32_at_least_one(record_count)) return std::unexpected(type2_error("record count"));
  if (!std::isfinite(init) || !std::isfinite(interval_length) || !(interval_length > 0.0)) {
    return std::unexpected(type2_error("directory epoch and interval length must be finite and valid"));
  }
  const auto size = static_cast<std::uint32_t>(record_size);
  const auto count = static_cast<std::uint32_t>(record_count);
  if (size < 5 || (size - 2) % 3 != 0) {
    return std::unexpected(type2_error("record size does not describe three equal coefficient sets"));
  }
  // The record words plus the 4 directory words must stay addressable in 32 bits.
  const std::uint64_t record_words = static_cast<std::uint64_t>(size) * count;
  if (record_words > 4294967291ULL) return std::unexpected(type2_error("segment word count overflowed"));
  static_assert(kMaxType2Coefficients == 1024, "the reason below names the bound");
  if (size > 3 * kMaxType2Coefficients + 2) {
    return std::unexpected(type2_error("record size exceeds 1024 coefficients per component"));
  }
  const std::int64_t span_words =
      static_cast<std::int64_t>(segment.end_address) - static_cast<std::int64_t>(segment.start_address) + 1;
  if (span_words != static_cast<std::int64_t>(record_words) + 4) {
    return std::unexpected(type2_error("directory size does not match the segment address range"));
  }
  return Type2Directory{init, interval_length, size, count};
}

bool find_type2_record_index(const Type2Directory& directory, double epoch, std::uint32_t& index) {
  const double x = (epoch - directory.init) / directory.interval_length;
  if (!std::isfinite(x) || x < 0.0) return false;
  // For x in [0, 2^32 - 1) truncation is the floor.
  index = x >= kMaxU32AsDouble ? std::numeric_limits<std::uint32_t>::max() : static_cast<std::uint32_t>(x);
  if (index == directory.record_count) index -= 1;  // the end of the last interval
  return index < directory.record_count;
}

std::expected<std::uint32_t, SpkError> type2_record_index(const Type2Directory& directory, double epoch) {
  std::uint32_t index = 0;
  if (find_type2_record_index(directory, epoch, index)) return index;
  const double x = (epoch - directory.init) / directory.interval_length;
  if (!std::isfinite(x) || x < 0.0) {
    return std::unexpected(type2_error("epoch precedes the first polynomial interval"));
  }
  return std::unexpected(type2_error("epoch is not covered by the polynomial intervals"));
}

std::expected<std::int32_t, SpkError> type2_record_address(const SegmentLoc& segment,
                                                           const Type2Directory& directory,
                                                           std::uint32_t record_index) {
  const std::uint64_t offset = static_cast<std::uint64_t>(record_index) * directory.record_size;
  if (offset > std::numeric_limits<std::uint32_t>::max()) {
    return std::unexpected(type2_error("record address overflowed"));
  }
  const auto signed_offset = static_cast<std::int32_t>(static_cast<std::uint32_t>(offset));
  if (signed_offset < 0) return std::unexpected(type2_error("record address exceeds the DAF address range"));
  std::int32_t address = 0;
  if (__builtin_add_overflow(segment.start_address, signed_offset, &address)) {
    return std::unexpected(type2_error("record address overflowed"));
  }
  return address;
}

Type2RecordCheck check_type2_record(const double* record, std::uint32_t record_size) {
  const double mid = record[0];
  const double radius = record[1];
  Type2RecordCheck check;
  check.span_valid = std::isfinite(mid) && std::isfinite(radius) && radius > 0.0;
  check.coefficients_finite = true;
  const std::uint32_t coefficient_words = (record_size - 2) / 3 * 3;
  for (std::uint32_t i = 0; i < coefficient_words; ++i) {
    if (!std::isfinite(record[2 + i])) check.coefficients_finite = false;
  }
  return check;
}

std::expected<StateVector, SpkError> evaluate_loaded_type2_record(std::span<const double> record,
                                                                  std::uint32_t record_size, double epoch) {
  if (record.size() < 2 || record.size() < record_size) {
    return std::unexpected(type2_error("record holds fewer words than its record size"));
  }
  const std::uint32_t words = record_size < 2 ? 2 : record_size;
  return evaluate_checked_type2_record(record.data(), words, check_type2_record(record.data(), words), epoch);
}

std::expected<StateVector, SpkError> evaluate_checked_type2_record(const double* record, std::uint32_t record_size,
                                                                   Type2RecordCheck check, double epoch) {
  StateVector state;
  if (evaluate_checked_type2_record_into(record, record_size, check, epoch, state)) return state;
  if (!check.span_valid) return std::unexpected(type2_error("record midpoint and radius must be finite and valid"));
  if (!(std::fabs((epoch - record[0]) / record[1]) <= 1.0)) {
    return std::unexpected(type2_error("selected record does not cover the requested epoch"));
  }
  return std::unexpected(type2_error("Chebyshev coefficients and argument must be finite"));
}

bool evaluate_checked_type2_record_into(const double* record, std::uint32_t record_size, Type2RecordCheck check,
                                        double epoch, StateVector& state) {
  if (!check.span_valid) return false;
  const double mid = record[0];
  const double radius = record[1];
  const double s = (epoch - mid) / radius;
  if (!(std::fabs(s) <= 1.0)) return false;
  const std::size_t n = (record_size - 2) / 3;
  if (n == 0 || !check.coefficients_finite) return false;
  const double* coefficients = record + 2;

  state = StateVector{};
  if (n == 1) {
    state.position_km = {coefficients[0], coefficients[1], coefficients[2]};
    return true;  // constant position, zero velocity
  }
  // The Chebyshev values T_k and their derivatives D_k depend only on s, so
  // one recurrence serves the three axes; each axis still accumulates its own
  // terms in increasing k, exactly as a separate pass per axis would.
  const double* cx = coefficients;
  const double* cy = cx + n;
  const double* cz = cy + n;
  const double two_s = 2.0 * s;
  double t_prev = 1.0;  // T0
  double t_curr = s;    // T1
  double d_prev = 0.0;  // D0
  double d_curr = 1.0;  // D1
  double px = cx[0] + s * cx[1];
  double py = cy[0] + s * cy[1];
  double pz = cz[0] + s * cz[1];
  double rx = cx[1];
  double ry = cy[1];
  double rz = cz[1];
  for (std::size_t k = 2; k < n; ++k) {
    const double t_next = two_s * t_curr - t_prev;
    const double d_next = two_s * d_curr + 2.0 * t_curr - d_prev;
    px += t_next * cx[k];
    py += t_next * cy[k];
    pz += t_next * cz[k];
    rx += d_next * cx[k];
    ry += d_next * cy[k];
    rz += d_next * cz[k];
    t_prev = t_curr;
    t_curr = t_next;
    d_prev = d_curr;
    d_curr = d_next;
  }
  store_state(state, px, py, pz, rx / radius, ry / radius, rz / radius);
  return true;
}

bool evaluate_checked_type2_position_into(const double* record, std::uint32_t record_size, Type2RecordCheck check,
                                          double epoch, std::array<double, 3>& position) {
  if (!check.span_valid) return false;
  const double s = (epoch - record[0]) / record[1];
  if (!(std::fabs(s) <= 1.0)) return false;
  const std::size_t n = (record_size - 2) / 3;
  if (n == 0 || !check.coefficients_finite) return false;
  const double* cx = record + 2;
  const double* cy = cx + n;
  const double* cz = cy + n;
  if (n == 1) {
    position = {cx[0], cy[0], cz[0]};
    return true;
  }
  const double two_s = 2.0 * s;
  double t_prev = 1.0;
  double t_curr = s;
  double px = cx[0] + s * cx[1];
  double py = cy[0] + s * cy[1];
  double pz = cz[0] + s * cz[1];
  for (std::size_t k = 2; k < n; ++k) {
    const double t_next = two_s * t_curr - t_prev;
    px += t_next * cx[k];
    py += t_next * cy[k];
    pz += t_next * cz[k];
    t_prev = t_curr;
    t_curr = t_next;
  }
  position = {px, py, pz};
  return true;
}

namespace {

// With kShared, every lane reads the one record of lane 0 (its words are
// loaded once for all lanes instead of gathered lane by lane).
template <int kLanes, bool kShared>
[[gnu::always_inline]] inline bool evaluate_lanes(const double* const records[], std::uint32_t record_size,
                                                  const Type2RecordCheck checks[], const double epochs[],
                                                  StateVector states[]) {
  const std::size_t n = (record_size - 2) / 3;
  if (n < 2) return false;
  double radius[kLanes], s[kLanes], two_s[kLanes];
  const double* c[kLanes];  // the coefficients of x, then of y at + n, of z at + 2 n
  for (int l = 0; l < kLanes; ++l) {
    if (!checks[l].span_valid || !checks[l].coefficients_finite) return false;
    radius[l] = records[l][1];
    s[l] = (epochs[l] - records[l][0]) / radius[l];
    if (!(std::fabs(s[l]) <= 1.0)) return false;
    two_s[l] = 2.0 * s[l];
    c[l] = records[kShared ? 0 : l] + 2;
  }
  double t_prev[kLanes], t_curr[kLanes], d_prev[kLanes], d_curr[kLanes];
  double px[kLanes], py[kLanes], pz[kLanes], rx[kLanes], ry[kLanes], rz[kLanes];
  for (int l = 0; l < kLanes; ++l) {
    t_prev[l] = 1.0;
    t_curr[l] = s[l];
    d_prev[l] = 0.0;
    d_curr[l] = 1.0;
    px[l] = c[l][0] + s[l] * c[l][1];
    py[l] = c[l][n] + s[l] * c[l][n + 1];
    pz[l] = c[l][2 * n] + s[l] * c[l][2 * n + 1];
    rx[l] = c[l][1];
    ry[l] = c[l][n + 1];
    rz[l] = c[l][2 * n + 1];
  }
  for (std::size_t k = 2; k < n; ++k) {
    for (int l = 0; l < kLanes; ++l) {
      const double t_next = two_s[l] * t_curr[l] - t_prev[l];
      const double d_next = two_s[l] * d_curr[l] + 2.0 * t_curr[l] - d_prev[l];
      const double* ck = (kShared ? c[0] : c[l]) + k;
      px[l] += t_next * ck[0];
      py[l] += t_next * ck[n];
      pz[l] += t_next * ck[2 * n];
      rx[l] += d_next * ck[0];
      ry[l] += d_next * ck[n];
      rz[l] += d_next * ck[2 * n];
      t_prev[l] = t_curr[l];
      t_curr[l] = t_next;
      d_prev[l] = d_curr[l];
      d_curr[l] = d_next;
    }
  }
  for (int l = 0; l < kLanes; ++l) {
    store_state(states[l], px[l], py[l], pz[l], rx[l] / radius[l], ry[l] / radius[l], rz[l] / radius[l]);
  }
  return true;
}

template <int kLanes>
[[gnu::always_inline]] inline bool evaluate_lanes(const double* const records[], std::uint32_t record_size,
                                                  const Type2RecordCheck checks[], const double epochs[],
                                                  StateVector states[]) {
  bool shared = true;
  for (int l = 1; l < kLanes; ++l) shared = shared && records[l] == records[0];
  return shared ? evaluate_lanes<kLanes, true>(records, record_size, checks, epochs, states)
                : evaluate_lanes<kLanes, false>(records, record_size, checks, epochs, states);
}

// The same loops compiled for AVX2 (no FMA: the build keeps -ffp-contract=off
// and AVX2 alone has no fused operations), run only where the processor has it.
[[gnu::target("avx2")]] bool evaluate_four_lanes(const double* const records[], std::uint32_t record_size,
                                                 const Type2RecordCheck checks[], const double epochs[],
                                                 StateVector states[]) {
  return evaluate_lanes<4>(records, record_size, checks, epochs, states);
}
[[gnu::target("avx2")]] bool evaluate_eight_lanes(const double* const records[], std::uint32_t record_size,
                                                  const Type2RecordCheck checks[], const double epochs[],
                                                  StateVector states[]) {
  return evaluate_lanes<8>(records, record_size, checks, epochs, states);
}

}  // namespace

bool has_wide_type2_lanes() { return has_avx2(); }

bool evaluate_checked_type2_records_into(int lanes, const double* const records[], std::uint32_t record_size,
                                         const Type2RecordCheck checks[], const double epochs[],
                                         StateVector states[]) {
  if (lanes == 8 && has_wide_type2_lanes()) return evaluate_eight_lanes(records, record_size, checks, epochs, states);
  if (lanes == 4 && has_wide_type2_lanes()) return evaluate_four_lanes(records, record_size, checks, epochs, states);
  if (lanes == 2) return evaluate_lanes<2>(records, record_size, checks, epochs, states);
  return false;
}

}  // namespace ephemeris
