// SPK kernel bytes from the fuzzer, read twice and through the engine.
//
// The bytes go into an anonymous memory file (memfd: a regular file that
// never touches the disk), so one input is read
//   - in memory (SpkKernel::from_bytes),
//   - from the file with positional reads (KernelSource::open of
//     /proc/self/fd/N, which must accept it as a regular file),
// and each reader takes the same steps: the file record, the segment list,
// every listed segment evaluated at its coverage start, middle and end and
// just outside them (single epochs and one batch), every target's centre
// chain walked at those epochs (single epochs and one batch, in reverse
// order), and relative states between targets with and without the light
// time, aberration and deflection corrections. Every result (state bits or
// error text) goes into a transcript; the two transcripts must be equal.
//
// Then the engine opens the file as its primary kernel (the same file
// reader, plus the coverage check) and attaches the same bytes as an
// additional kernel in memory: the same steps on that two-kernel list must
// give the same transcript (an identical second kernel can never serve a
// body the first lacks), and the engine's batch positions must equal its
// single positions, bit for bit.
//
// Inside each reader a batch must equal its single epochs bit for bit; when a
// batch fails, some single epoch fails with the same error. Any disagreement
// traps. Work per input is capped (segments, targets, epochs).
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <expected>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/body.h"
#include "core/julian_day.h"
#include "engine/engine.h"
#include "engine/relative_state.h"
#include "spk/center_chain.h"
#include "spk/coverage.h"
#include "spk/spk_kernel.h"

namespace {

using namespace ephemeris;

#define FUZZ_CHECK(condition)                                            \
  do {                                                                   \
    if (!(condition)) {                                                  \
      std::fprintf(stderr, "spk_kernel_fuzzer: %s failed\n", #condition); \
      __builtin_trap();                                                  \
    }                                                                    \
  } while (false)

constexpr std::string_view kSha256 = "0123456789abcdef0123456789abcdef0123456789ABCDEF0123456789ABCDEF";
constexpr std::size_t kMaxSegments = 24;        // segments evaluated directly
constexpr std::size_t kMaxTargets = 12;         // targets whose chains are walked
constexpr std::size_t kMaxTargetEpochs = 20;    // epochs per target
constexpr std::size_t kMaxRelativeTargets = 6;  // targets of relative states

double inf() { return std::numeric_limits<double>::infinity(); }

// Results as bytes: state bits and error texts.
class Transcript {
 public:
  void add(const StateVector& s) {
    text_ += 'S';
    append_bits(s.position_km);
    append_bits(s.velocity_km_per_s);
  }
  void add(const SpkError& error) { text_ += 'E' + message(error) + '\n'; }
  template <typename T>
  void add(const std::expected<T, SpkError>& result) {
    if (result) {
      add(*result);
    } else {
      add(result.error());
    }
  }
  void add(const std::vector<StateVector>& states) {
    for (const auto& s : states) add(s);
  }
  const std::string& text() const { return text_; }

 private:
  template <typename T, std::size_t N>
  void append_bits(const std::array<T, N>& values) {
    text_.append(reinterpret_cast<const char*>(values.data()), sizeof(T) * N);
  }
  std::string text_;
};

// Equal bits of two results made only of doubles (states, positions).
template <typename T>
bool same_bits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// A batch against the same requests taken one at a time: the batch succeeds
// exactly when every single request does, with the same bits, and a failed
// batch reports the error of one of the failing requests.
template <typename T, typename E>
void compare_batch(const std::expected<std::vector<T>, E>& batch, std::span<const std::expected<T, E>> singles) {
  const bool all_succeed = std::all_of(singles.begin(), singles.end(), [](const auto& s) { return s.has_value(); });
  FUZZ_CHECK(batch.has_value() == all_succeed);
  if (batch) {
    FUZZ_CHECK(batch->size() == singles.size());
    for (std::size_t i = 0; i < singles.size(); ++i) FUZZ_CHECK(same_bits((*batch)[i], *singles[i]));
    return;
  }
  const std::string text = message(batch.error());
  FUZZ_CHECK(std::any_of(singles.begin(), singles.end(),
                         [&](const auto& s) { return !s.has_value() && message(s.error()) == text; }));
}

using StateResult = std::expected<StateVector, SpkError>;
using StatesResult = std::expected<std::vector<StateVector>, SpkError>;

// `compare_batch` for the states of `epochs`, then again for the epochs
// that succeed alone, whose batch must succeed. `run` evaluates a batch.
template <typename Run>
void check_batch(std::span<const double> epochs, std::span<const StateResult> singles, Run run, Transcript& out) {
  const StatesResult batch = run(epochs);
  compare_batch(batch, singles);
  out.add(batch);
  if (batch) return;
  std::vector<double> good_epochs;
  std::vector<StateResult> good;
  for (std::size_t i = 0; i < singles.size(); ++i) {
    if (singles[i]) {
      good_epochs.push_back(epochs[i]);
      good.push_back(singles[i]);
    }
  }
  if (good.empty()) return;
  const StatesResult good_batch = run(good_epochs);
  compare_batch(good_batch, std::span<const StateResult>(good));
  out.add(good_batch);
}

// The epochs probed in one segment: its start, middle and end, and the
// nearest doubles outside it.
void add_segment_epochs(const SpkSegment& segment, std::vector<double>& epochs) {
  const double start = segment.start_seconds;
  const double end = segment.end_seconds;
  for (double e : {start, 0.5 * start + 0.5 * end, end, std::nextafter(start, -inf()), std::nextafter(end, inf())}) {
    epochs.push_back(e);
  }
}

// What every reader is asked, derived from the segment list once.
struct Plan {
  std::vector<SpkSegment> segments;                 // the first kMaxSegments
  std::vector<std::int32_t> targets;                // distinct, in file order
  std::vector<std::int32_t> first_centers;          // centre of each target's first segment
  std::vector<std::vector<double>> target_epochs;   // per target
};

Plan make_plan(const std::vector<SpkSegment>& all) {
  Plan plan;
  plan.segments.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), kMaxSegments)));
  for (const SpkSegment& segment : plan.segments) {
    auto known = std::find(plan.targets.begin(), plan.targets.end(), segment.target);
    std::size_t index = static_cast<std::size_t>(known - plan.targets.begin());
    if (known == plan.targets.end()) {
      if (plan.targets.size() == kMaxTargets) continue;
      plan.targets.push_back(segment.target);
      plan.first_centers.push_back(segment.center);
      plan.target_epochs.emplace_back();
    }
    auto& epochs = plan.target_epochs[index];
    if (epochs.size() < kMaxTargetEpochs) add_segment_epochs(segment, epochs);
  }
  return plan;
}

// The steps every reader (or list of kernels) takes; results go to `out`.
void exercise(std::span<SpkKernel> kernels, const Plan& plan, Transcript& out) {
  SpkKernel& first = kernels.front();

  // Each listed segment directly, one epoch at a time and as one batch.
  std::vector<double> epochs;
  std::vector<StateResult> singles;
  for (const SpkSegment& segment : plan.segments) {
    const SegmentLoc loc = SegmentLoc::from_segment(segment);
    epochs.clear();
    add_segment_epochs(segment, epochs);
    singles.clear();
    for (double epoch : epochs) {
      auto one = first.evaluate_type2_at_epochs(loc, std::span<const double>(&epoch, 1));
      singles.push_back(one ? StateResult(one->at(0)) : StateResult(std::unexpected(one.error())));
      out.add(singles.back());
    }
    check_batch(epochs, singles, [&](std::span<const double> e) { return first.evaluate_type2_at_epochs(loc, e); },
                out);
  }

  // Each target's centre chain, single epochs and one batch in reverse order
  // with a repeated epoch.
  for (std::size_t t = 0; t < plan.targets.size(); ++t) {
    const std::int32_t target = plan.targets[t];
    epochs = plan.target_epochs[t];
    singles.clear();
    for (double epoch : epochs) {
      singles.push_back(barycentric_state_across_kernels(kernels, target, epoch));
      out.add(singles.back());
    }
    std::reverse(epochs.begin(), epochs.end());
    std::reverse(singles.begin(), singles.end());
    epochs.push_back(epochs.front());
    singles.push_back(singles.front());
    check_batch(epochs, singles,
                [&](std::span<const double> e) { return barycentric_states_across_kernels(kernels, target, e); }, out);
  }

  // Relative states: each target from the next target and from its own
  // centre, at its first segment's middle, plain and with corrections; once
  // from a site offset from the centre.
  const CartesianState site{{6378.137, 0.0, 0.0}, {0.0, 0.465, 0.0}};
  const std::array<Corrections, 3> corrections = {
      Corrections{}, Corrections{.light_time = true},
      Corrections{.light_time = true, .aberration = true, .gravitational_deflection = true}};
  const std::size_t n = std::min(plan.targets.size(), kMaxRelativeTargets);
  for (std::size_t t = 0; t < n; ++t) {
    const std::int32_t target = plan.targets[t];
    const double epoch = plan.target_epochs[t][1];
    for (std::int32_t center : {plan.targets[(t + 1) % n], plan.first_centers[t]}) {
      for (const Corrections& c : corrections) {
        out.add(resolve_relative_state(kernels, target, center, c, std::nullopt, epoch));
      }
    }
    out.add(resolve_relative_state(kernels, target, plan.first_centers[t], corrections[2], site, epoch));
  }
}

// An anonymous in-memory file holding the input, named by a /proc path.
class MemoryFile {
 public:
  explicit MemoryFile(std::span<const std::uint8_t> bytes) : fd_(::memfd_create("spk_kernel_fuzzer", MFD_CLOEXEC)) {
    FUZZ_CHECK(fd_ >= 0);
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t wrote = ::write(fd_, bytes.data() + done, bytes.size() - done);
      FUZZ_CHECK(wrote > 0);
      done += static_cast<std::size_t>(wrote);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile() { ::close(fd_); }
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

std::vector<std::byte> to_bytes(std::span<const std::uint8_t> data) {
  const auto* begin = reinterpret_cast<const std::byte*>(data.data());
  return {begin, begin + data.size()};
}

bool same_file_record(const SpkKernel& a, const SpkKernel& b) {
  const DafFileRecord& x = a.file_record();
  const DafFileRecord& y = b.file_record();
  return x.internal_file_name == y.internal_file_name && x.nd == y.nd && x.ni == y.ni && x.fward == y.fward &&
         x.bward == y.bward && x.free == y.free && x.big_endian == y.big_endian;
}

// Equal results: both values (compared by `same`) or both errors with one text.
template <typename A, typename B, typename Same>
bool agree(const std::expected<A, SpkError>& a, const std::expected<B, SpkError>& b, Same same) {
  if (a.has_value() != b.has_value()) return false;
  return a ? same(*a, *b) : message(a.error()) == message(b.error());
}

using PositionResult = std::expected<Position, EphemerisError>;

// The engine on the same file: primary kernel read from the file, the same
// bytes attached in memory; its kernel list must answer like a single kernel, and its batch
// positions must equal its single positions.
void exercise_engine(const MemoryFile& file, std::span<const std::uint8_t> data, const Plan& plan,
                     const std::vector<SpkSegment>& segments, const Transcript& expected) {
  const auto coverage = common_contiguous_coverage(segments);
  auto opened = SpkEphemeris::open(file.path(), kSha256);
  FUZZ_CHECK(opened.has_value() == coverage.has_value());
  if (!opened) {
    FUZZ_CHECK(message(opened.error()) == message(coverage.error()));
    return;
  }
  const SupportedRange range = opened->supported_range();
  FUZZ_CHECK(range.start_julian_day == julian_day_from_seconds_since_j2000(coverage->first));
  FUZZ_CHECK(range.end_julian_day == julian_day_from_seconds_since_j2000(coverage->second));

  auto additional = SpkKernel::from_bytes(to_bytes(data));
  FUZZ_CHECK(additional.has_value());
  auto engine = SpkEphemeris::with_additional_kernel(std::move(*opened), std::move(*additional), "same.bsp", kSha256);
  FUZZ_CHECK(engine.has_value());
  {
    auto borrow = engine->borrow_kernels();
    FUZZ_CHECK(borrow.has_value() && borrow->kernels().size() == 2);
    Transcript two;
    exercise(borrow->kernels(), plan, two);
    FUZZ_CHECK(two.text() == expected.text());
  }

  const double start = range.start_julian_day;
  const double end = range.end_julian_day;
  constexpr std::size_t kInstantsInside = 3;  // then two just outside the range
  const std::array<Instant, 5> instants = {Instant{start}, Instant{0.5 * start + 0.5 * end}, Instant{end},
                                           Instant{std::nextafter(start, -inf())}, Instant{std::nextafter(end, inf())}};
  PositionOptions barycentric;
  barycentric.origin = Origin::barycentric();
  barycentric.coordinate_system = CoordinateSystem::Equatorial;
  PositionOptions apparent;
  apparent.apparent = true;
  apparent.reference_epoch = ReferenceEpoch::OfDate;
  for (const PositionOptions& options : {PositionOptions{}, barycentric, apparent}) {
    std::vector<PositionResult> singles;  // instant-major, like a batch
    for (const Instant& instant : instants) {
      for (Body body : kAllBodies) singles.push_back(engine->position(body, instant, options));
    }
    compare_batch(engine->positions(kAllBodies, instants, options), std::span<const PositionResult>(singles));
    // The bodies that succeed alone at every instant inside the range, as one batch.
    std::vector<Body> bodies;
    std::vector<PositionResult> inside;
    for (std::size_t b = 0; b < kBodyCount; ++b) {
      bool good = true;
      for (std::size_t i = 0; i < kInstantsInside; ++i) good = good && singles[i * kBodyCount + b].has_value();
      if (good) bodies.push_back(kAllBodies[b]);
    }
    if (bodies.empty()) continue;
    for (std::size_t i = 0; i < kInstantsInside; ++i) {
      for (Body body : bodies) inside.push_back(singles[i * kBodyCount + static_cast<std::size_t>(body)]);
    }
    const auto batch = engine->positions(bodies, std::span(instants).first(kInstantsInside), options);
    FUZZ_CHECK(batch.has_value());
    compare_batch(batch, std::span<const PositionResult>(inside));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  auto memory = SpkKernel::from_bytes(to_bytes(input));
  const MemoryFile file(input);
  auto source = KernelSource::open(file.path());
  FUZZ_CHECK(source.has_value() && source->opened_length() == size);  // a memfd is a regular file
  auto read = SpkKernel::from_reader(std::move(*source));
  const auto always = [](const SpkKernel&, const SpkKernel&) { return true; };
  FUZZ_CHECK(agree(memory, read, always));
  if (!memory) {
    const auto engine = SpkEphemeris::open(file.path(), kSha256);
    FUZZ_CHECK(!engine && message(engine.error()) == message(memory.error()));
    return 0;
  }
  FUZZ_CHECK(same_file_record(*memory, *read));

  const auto segments = memory->segments();
  const auto same_list = [](const auto& a, const auto& b) { return a == b; };
  FUZZ_CHECK(agree(segments, read->segments(), same_list));
  FUZZ_CHECK(agree(segments, memory->segments(), same_list));  // the cached list
  if (!segments) {
    const auto engine = SpkEphemeris::open(file.path(), kSha256);
    FUZZ_CHECK(!engine && message(engine.error()) == message(segments.error()));
    return 0;
  }

  const Plan plan = make_plan(*segments);
  std::array<Transcript, 2> transcripts;
  exercise(std::span<SpkKernel>(&*memory, 1), plan, transcripts[0]);
  exercise(std::span<SpkKernel>(&*read, 1), plan, transcripts[1]);
  FUZZ_CHECK(transcripts[0].text() == transcripts[1].text());

  exercise_engine(file, input, plan, *segments, transcripts[0]);
  return 0;
}
