#include "spk/spk_kernel.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <unordered_set>

namespace ephemeris {

namespace {

// NEXT, PREV and NSUM are doubles holding whole numbers in [0, 2^32 - 1].
std::optional<std::uint32_t> control_word(double value) {
  if (!std::isfinite(value) || value < 0.0 || value > 4294967295.0 || value != std::floor(value)) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

std::uint64_t cache_key(std::int32_t start_address, std::int32_t end_address) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(start_address)) << 32) |
         static_cast<std::uint32_t>(end_address);
}

}  // namespace

std::expected<SpkKernel, SpkError> SpkKernel::open(const std::string& path) {
  auto source = KernelSource::open(path);
  if (!source) return std::unexpected(SpkError::io(source.error()));
  return from_reader(std::move(*source));
}

std::expected<SpkKernel, SpkError> SpkKernel::from_reader(KernelSource source) {
  std::array<std::byte, kDafRecordBytes> bytes{};
  if (auto read = source.read_exact_at(0, bytes); !read) return std::unexpected(SpkError::io(read.error()));
  auto record = parse_file_record(bytes);
  if (!record) return std::unexpected(record.error());
  return SpkKernel(std::move(source), std::move(*record));
}

std::expected<SpkKernel, SpkError> SpkKernel::from_bytes(std::vector<std::byte> bytes) {
  return from_reader(KernelSource::from_bytes(std::move(bytes)));
}

std::expected<std::vector<SpkSegment>, SpkError> SpkKernel::segments() {
  auto list = segment_list();
  if (!list) return std::unexpected(list.error());
  return std::vector<SpkSegment>(list->begin(), list->end());
}

std::expected<std::span<const SpkSegment>, SpkError> SpkKernel::segment_list() {
  if (!segments_) {
    auto walked = walk_summary_chain();
    if (!walked) return std::unexpected(walked.error());
    entries_.clear();
    entries_.reserve(walked->size());
    for (const SpkSegment& segment : *walked) {
      entries_.push_back({segment.target, SegmentLoc::from_segment(segment),
                          slot_for(segment.start_address, segment.end_address)});
    }
    segments_ = std::move(*walked);
  }
  return std::span<const SpkSegment>(*segments_);
}

std::expected<std::vector<SpkSegment>, SpkError> SpkKernel::walk_summary_chain() {
  const DafFileRecord& file = file_record_;
  if (file.nd != kSpkDoublesPerSummary || file.ni != kSpkIntegersPerSummary) {
    return std::unexpected(SpkError::unsupported_summary_layout(file.nd, file.ni));
  }
  const std::uint32_t summary_words = file.nd + file.ni / 2 + file.ni % 2;
  const std::size_t summary_bytes = static_cast<std::size_t>(summary_words) * kDafWordBytes;

  std::unordered_set<std::uint32_t> visited;
  std::vector<SpkSegment> list;
  std::array<std::byte, kDafRecordBytes> summaries{};
  std::array<std::byte, kDafRecordBytes> names{};
  std::uint32_t expected_prev = 0;
  std::uint32_t record = file.fward;
  std::uint32_t last_visited = 0;
  // Every pass visits a new record that must be readable, so the walk ends
  // within the file's record count.
  while (true) {
    if (!visited.insert(record).second) {
      return std::unexpected(SpkError::invalid_summary_chain("summary record chain contains a cycle"));
    }
    if (record == 0) return std::unexpected(SpkError::invalid_summary_chain("DAF record numbers are one-based"));
    if (auto read = read_bytes_at((static_cast<std::uint64_t>(record) - 1) * kDafRecordBytes, summaries); !read) {
      return std::unexpected(read.error());
    }
    const std::span<const std::byte> words(summaries);
    const auto next = control_word(read_f64(words.subspan<0, 8>(), file.big_endian));
    const auto prev = control_word(read_f64(words.subspan<8, 8>(), file.big_endian));
    const auto count = control_word(read_f64(words.subspan<16, 8>(), file.big_endian));
    if (!next || !prev || !count) {
      return std::unexpected(
          SpkError::invalid_summary_chain("summary control word is not a non-negative integer"));
    }
    if (*prev != expected_prev) {
      return std::unexpected(SpkError::invalid_summary_chain("summary record has an incorrect backward pointer"));
    }
    if (*count > 125 / summary_words) {
      return std::unexpected(SpkError::invalid_summary_chain("summary count exceeds record capacity"));
    }
    if (record == 4294967295U) {
      return std::unexpected(SpkError::invalid_summary_chain("name record number overflowed"));
    }
    if (auto read = read_bytes_at(static_cast<std::uint64_t>(record) * kDafRecordBytes, names); !read) {
      return std::unexpected(read.error());
    }
    if (summary_words >= 65536) {
      return std::unexpected(SpkError::invalid_summary_chain("summary width is not addressable on this platform"));
    }
    for (std::uint32_t i = 0; i < *count; ++i) {
      const std::size_t offset = i * summary_bytes;
      auto identifier =
          parse_ascii_field(std::span<const std::byte>(names).subspan(offset, summary_bytes), "segment identifier");
      if (!identifier) return std::unexpected(identifier.error());
      auto segment = parse_spk_summary(words.subspan(24 + offset).first<kSpkSummaryBytes>(),
                                       std::move(*identifier), file.big_endian);
      if (!segment) return std::unexpected(segment.error());
      list.push_back(std::move(*segment));
    }
    last_visited = record;
    expected_prev = record;
    if (*next == 0) break;
    record = *next;
  }
  if (last_visited != file.bward) {
    return std::unexpected(
        SpkError::invalid_summary_chain("summary chain ended before the final summary record"));
  }
  return list;
}

std::expected<void, SpkError> SpkKernel::read_bytes_at(std::uint64_t offset, std::span<std::byte> buffer) {
  if (auto read = source_.read_exact_at(offset, buffer); !read) return std::unexpected(SpkError::io(read.error()));
  return {};
}

std::expected<void, SpkError> SpkKernel::read_words_into(std::int32_t start_address, std::uint32_t count,
                                                         std::vector<double>& words) {
  if (start_address < 1) {
    return std::unexpected(SpkError::invalid_type2_segment("DAF word addresses are one-based"));
  }
  const std::uint64_t offset = (static_cast<std::uint64_t>(start_address) - 1) * kDafWordBytes;
  const std::uint64_t byte_count = static_cast<std::uint64_t>(count) * kDafWordBytes;
  // A range past the end of the file as opened could never be filled;
  // refusing it here keeps absurd counts from allocating before the read fails.
  const std::uint64_t length = source_.opened_length();
  if (offset > length || byte_count > length - offset) {
    return std::unexpected(SpkError::io(KernelIoError::unexpected_eof()));
  }
  words.resize(count);
  if (auto read = read_bytes_at(offset, std::as_writable_bytes(std::span<double>(words))); !read) {
    return std::unexpected(read.error());
  }
  if (file_record_.big_endian != (std::endian::native == std::endian::big)) {
    for (double& word : words) word = std::bit_cast<double>(std::byteswap(std::bit_cast<std::uint64_t>(word)));
  }
  return {};
}

std::expected<std::vector<double>, SpkError> SpkKernel::read_words(std::int32_t start_address,
                                                                   std::uint32_t count) {
  std::vector<double> words;
  if (auto read = read_words_into(start_address, count, words); !read) return std::unexpected(read.error());
  return words;
}

std::uint32_t SpkKernel::slot_for(std::int32_t start_address, std::int32_t end_address) {
  const auto [it, inserted] =
      slot_of_key_.try_emplace(cache_key(start_address, end_address), static_cast<std::uint32_t>(slots_.size()));
  if (inserted) slots_.emplace_back();
  return it->second;
}

std::expected<const Type2Directory*, SpkError> SpkKernel::directory_for(CacheSlot& slot,
                                                                        const SegmentLoc& segment) {
  if (slot.directory) return &*slot.directory;
  const auto address = type2_directory_address(segment);
  if (!address) return std::unexpected(address.error());
  std::vector<double> words;
  if (auto read = read_words_into(*address, 4, words); !read) return std::unexpected(read.error());
  auto directory = validate_type2_directory(std::span<const double, 4>(words.data(), 4), segment);
  if (!directory) return std::unexpected(directory.error());
  ++directory_reads_;
  slot.directory = *directory;
  slot.records_per_block = std::max<std::uint32_t>(1, kRecordBlockWords / directory->record_size);
  return &*slot.directory;
}

void SpkKernel::drop_record_blocks() {
  for (CacheSlot& slot : slots_) {
    slot.blocks.clear();
    slot.views = {};  // its memory too: it was counted
    slot.has_last = false;
  }
  cached_words_ = 0;
}

std::expected<SpkKernel::LoadedRecord, SpkError> SpkKernel::load_record(CacheSlot& slot, const SegmentLoc& segment,
                                                                        const Type2Directory& directory,
                                                                        std::uint32_t record_index) {
  if (slot.has_last && slot.last_index == record_index) return slot.last;
  const std::uint32_t size = directory.record_size;
  const std::uint32_t block_index = record_index / slot.records_per_block;
  auto found = slot.blocks.find(block_index);
  if (found == slot.blocks.end() || record_index - found->second.first_record >= found->second.record_count) {
    const auto address = type2_record_address(segment, directory, record_index);
    if (!address) return std::unexpected(address.error());
    // The block's records, cut to those lying wholly at one-based word
    // addresses inside the file as opened; a record outside it is read alone
    // and fails as such.
    const std::int64_t start = segment.start_address;
    const std::int64_t file_words = static_cast<std::int64_t>(source_.opened_length() / kDafWordBytes);
    std::int64_t first = static_cast<std::int64_t>(block_index) * slot.records_per_block;
    std::int64_t end = std::min<std::int64_t>(first + slot.records_per_block, directory.record_count);
    if (start + first * size < 1) first = (1 - start + size - 1) / size;
    end = std::min<std::int64_t>(end, (file_words - start + 1) / size);
    if (first > record_index || end <= record_index) {
      first = record_index;
      end = record_index + 1;
    }
    const auto block_address = type2_record_address(segment, directory, static_cast<std::uint32_t>(first));
    if (!block_address) return std::unexpected(block_address.error());
    RecordBlock block;
    const auto count = static_cast<std::uint32_t>(end - first);
    if (auto read = read_words_into(*block_address, count * size, block.words); !read) {
      return std::unexpected(read.error());
    }
    ++record_reads_;
    if (found != slot.blocks.end()) {
      cached_words_ -= found->second.words.size() + kRecordBlockOverheadWords;
      slot.blocks.erase(found);
      if (block_index < slot.views.size()) slot.views[block_index] = BlockView{};
    }
    const std::uint64_t cost = block.words.size() + kRecordBlockOverheadWords;
    if (cached_words_ + cost > kMaxCachedRecordWords) drop_record_blocks();
    cached_words_ += cost;
    block.first_record = static_cast<std::uint32_t>(first);
    block.record_count = count;
    block.checks.reserve(count);
    for (std::uint32_t r = 0; r < count; ++r) {
      block.checks.push_back(check_type2_record(block.words.data() + static_cast<std::size_t>(r) * size, size));
    }
    found = slot.blocks.emplace(block_index, std::move(block)).first;
    // Whole blocks only: any record index of the block then lies in it.
    const std::int64_t whole_end =
        std::min<std::int64_t>(static_cast<std::int64_t>(block_index + 1) * slot.records_per_block,
                               directory.record_count);
    if (first == static_cast<std::int64_t>(block_index) * slot.records_per_block && end == whole_end) {
      // The table of views covers the segment's blocks; it is made once, when
      // it fits beside the blocks within the bound, and counted with them.
      if (slot.views.empty()) {
        const std::uint64_t blocks =
            (std::uint64_t{directory.record_count} + slot.records_per_block - 1) / slot.records_per_block;
        if (cached_words_ + blocks * kBlockViewWords <= kMaxCachedRecordWords) {
          slot.views.resize(static_cast<std::size_t>(blocks));
          cached_words_ += blocks * kBlockViewWords;
        }
      }
      if (block_index < slot.views.size()) {
        slot.views[block_index] = {found->second.words.data(), found->second.checks.data()};
      }
    }
  }
  const RecordBlock& block = found->second;
  const std::uint32_t offset = record_index - block.first_record;
  slot.last = {block.words.data() + static_cast<std::size_t>(offset) * size, block.checks[offset]};
  slot.last_index = record_index;
  slot.has_last = true;
  return slot.last;
}

namespace {

// Whether `epoch` is a finite epoch of the segment's coverage.
bool covers(const SegmentLoc& segment, double epoch) {
  return std::isfinite(epoch) && epoch >= segment.start_seconds && epoch <= segment.end_seconds;
}

std::expected<void, SpkError> check_type2_epoch(const SegmentLoc& segment, double epoch) {
  if (!covers(segment, epoch)) {
    return std::unexpected(SpkError::epoch_outside_segment(epoch, segment.start_seconds, segment.end_seconds));
  }
  return {};
}

}  // namespace

std::expected<StateVector, SpkError> SpkKernel::evaluate_one_in_slot(std::uint32_t slot_index,
                                                                     const SegmentLoc& segment, double epoch) {
  if (segment.data_type != kSpkType2) {
    return std::unexpected(SpkError::unsupported_segment_type(segment.data_type));
  }
  if (auto inside = check_type2_epoch(segment, epoch); !inside) return std::unexpected(inside.error());
  CacheSlot& slot = slots_[slot_index];
  const auto directory = directory_for(slot, segment);
  if (!directory) return std::unexpected(directory.error());
  const auto record_index = type2_record_index(**directory, epoch);
  if (!record_index) return std::unexpected(record_index.error());
  const auto record = load_record(slot, segment, **directory, *record_index);
  if (!record) return std::unexpected(record.error());
  return evaluate_checked_type2_record(record->words, (*directory)->record_size, record->check, epoch);
}

std::expected<std::vector<StateVector>, SpkError> SpkKernel::evaluate_type2_at_epochs(
    const SegmentLoc& segment, std::span<const double> epochs) {
  const std::uint32_t slot = slot_for(segment.start_address, segment.end_address);
  std::vector<StateVector> states(epochs.size());
  for (std::size_t j = 0; j < epochs.size(); ++j) {
    auto state = evaluate_one_in_slot(slot, segment, epochs[j]);
    if (!state) return std::unexpected(state.error());
    states[j] = *state;
  }
  return states;
}

std::expected<std::size_t, SpkError> SpkKernel::find_segment(std::int32_t body, double epoch) {
  if (!segments_) {
    if (auto list = segment_list(); !list) return std::unexpected(list.error());
  }
  Found& found = found_[static_cast<std::uint32_t>(body) % kFoundSize];
  if (found.valid && found.body == body) {
    if (found.segment == kNoSegment) return kNoSegment;
    const SegmentLoc& loc = entries_[found.segment].loc;
    if (loc.start_seconds <= epoch && epoch <= loc.end_seconds) return found.segment;
  }
  bool listed = false;
  for (std::size_t i = entries_.size(); i-- > 0;) {
    const Entry& entry = entries_[i];
    if (entry.target != body) continue;
    listed = true;
    if (entry.loc.start_seconds <= epoch && epoch <= entry.loc.end_seconds) {
      // Remembered when no later segment of the body overlaps this one.
      bool alone = true;
      for (std::size_t j = i + 1; alone && j < entries_.size(); ++j) {
        const Entry& later = entries_[j];
        alone = later.target != body || later.loc.end_seconds < entry.loc.start_seconds ||
                entry.loc.end_seconds < later.loc.start_seconds;
      }
      if (alone) found = {body, true, i};
      return i;
    }
  }
  if (!listed) found = {body, true, kNoSegment};
  return kNoSegment;
}

bool SpkKernel::record_index_at(std::size_t index, double epoch, std::uint32_t& record_index) const {
  const Entry& entry = entries_[index];
  const CacheSlot& slot = slots_[entry.slot];
  return entry.loc.data_type == kSpkType2 && covers(entry.loc, epoch) && slot.directory &&
         find_type2_record_index(*slot.directory, epoch, record_index);
}

bool SpkKernel::serves_with_record(std::size_t index, double epoch, std::uint32_t record_index) const {
  std::uint32_t found = 0;
  return record_index_at(index, epoch, found) && found == record_index;
}

bool SpkKernel::prefetch_segment(std::size_t index, double epoch, const double*& words, std::uint32_t& size,
                                 const Type2RecordCheck*& check, std::uint32_t& record_index) const {
  if (!record_index_at(index, epoch, record_index)) return false;
  const CacheSlot& slot = slots_[entries_[index].slot];
  const std::uint32_t block_index = record_index / slot.records_per_block;
  if (block_index >= slot.views.size()) return false;
  const BlockView& view = slot.views[block_index];
  if (view.words == nullptr) return false;
  const std::uint32_t offset = record_index - block_index * slot.records_per_block;
  // Pointers only: a load of the record here would wait for memory.
  check = view.checks + offset;
  __builtin_prefetch(check);
  size = slot.directory->record_size;
  words = view.words + static_cast<std::size_t>(offset) * size;
  for (std::size_t word = 0; word < size; word += 8) __builtin_prefetch(words + word);  // 64-byte lines
  return true;
}

bool SpkKernel::quick_record(std::size_t index, double epoch, LoadedRecord& record, std::uint32_t& record_size) {
  std::uint32_t record_index = 0;
  if (!record_index_at(index, epoch, record_index)) return false;
  const Entry& entry = entries_[index];
  CacheSlot& slot = slots_[entry.slot];
  record = slot.last;
  if (!slot.has_last || slot.last_index != record_index) {
    const auto loaded = load_record(slot, entry.loc, *slot.directory, record_index);
    if (!loaded) return false;
    record = *loaded;
  }
  record_size = slot.directory->record_size;
  return true;
}

bool SpkKernel::try_evaluate_segment(std::size_t index, double epoch, StateVector& state) {
  LoadedRecord record;
  std::uint32_t size = 0;
  return quick_record(index, epoch, record, size) &&
         evaluate_checked_type2_record_into(record.words, size, record.check, epoch, state);
}

bool SpkKernel::try_evaluate_segment_position(std::size_t index, double epoch, std::array<double, 3>& position) {
  LoadedRecord record;
  std::uint32_t size = 0;
  return quick_record(index, epoch, record, size) &&
         evaluate_checked_type2_position_into(record.words, size, record.check, epoch, position);
}

bool SpkKernel::try_evaluate_segment_lanes(std::size_t index, int lanes, const double epochs[],
                                           StateVector states[]) {
  if (lanes < 1 || lanes > kMaxType2Lanes) return false;
  const Entry& entry = entries_[index];
  const SegmentLoc& segment = entry.loc;
  CacheSlot& slot = slots_[entry.slot];
  if (segment.data_type != kSpkType2 || !slot.directory) return false;
  std::uint32_t record_index[kMaxType2Lanes] = {};
  const auto find = [&](int l) {
    return covers(segment, epochs[l]) && find_type2_record_index(*slot.directory, epochs[l], record_index[l]);
  };
  if (!find(0) || !find(lanes - 1)) return false;
  // Epochs in order whose first and last share a record all lie in it (the
  // index grows with the epoch); else each is looked up.
  bool ordered = record_index[0] == record_index[lanes - 1];
  for (int l = 1; ordered && l < lanes; ++l) ordered = epochs[l - 1] <= epochs[l];
  if (ordered) {
    const auto loaded = load_record(slot, segment, *slot.directory, record_index[0]);
    if (!loaded) return false;
    const double* records[kMaxType2Lanes];
    Type2RecordCheck checks[kMaxType2Lanes];
    std::fill(records, records + lanes, loaded->words);
    std::fill(checks, checks + lanes, loaded->check);
    return evaluate_checked_type2_records_into(lanes, records, slot.directory->record_size, checks, epochs, states);
  }
  for (int l = 1; l < lanes - 1; ++l) {
    if (!find(l)) return false;
  }
  const double* records[kMaxType2Lanes] = {};
  Type2RecordCheck checks[kMaxType2Lanes] = {};
  // A read may drop or replace the blocks of the records before it, so the
  // records count only from a pass that reads nothing (the second, unless
  // blocks keep being dropped: then the lanes are left to the single form).
  for (int pass = 0; pass < 3; ++pass) {
    const std::uint64_t reads = record_reads_;
    for (int l = 0; l < lanes; ++l) {
      LoadedRecord record = slot.last;
      if (!slot.has_last || slot.last_index != record_index[l]) {
        const auto loaded = load_record(slot, segment, *slot.directory, record_index[l]);
        if (!loaded) return false;
        record = *loaded;
      }
      records[l] = record.words;
      checks[l] = record.check;
    }
    if (reads == record_reads_) {
      return evaluate_checked_type2_records_into(lanes, records, slot.directory->record_size, checks, epochs, states);
    }
  }
  return false;
}

std::expected<std::size_t, SpkError> SpkKernel::find_segment_over(std::int32_t body, double first, double last) {
  if (!segments_) {
    if (auto list = segment_list(); !list) return std::unexpected(list.error());
  }
  for (std::size_t i = entries_.size(); i-- > 0;) {
    const Entry& entry = entries_[i];
    if (entry.target == body && entry.loc.start_seconds <= last && first <= entry.loc.end_seconds) {
      return entry.loc.start_seconds <= first && last <= entry.loc.end_seconds ? i : kMixedSegments;
    }
  }
  return kNoSegment;
}

std::expected<StateVector, SpkError> SpkKernel::evaluate_segment(std::size_t index, double epoch) {
  const Entry& entry = entries_[index];
  return evaluate_one_in_slot(entry.slot, entry.loc, epoch);
}

}  // namespace ephemeris
