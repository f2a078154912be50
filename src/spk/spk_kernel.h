// One opened SPK kernel: its file record, its segment list (read once) and
// its Type 2 caches (one directory and one decoded record per segment).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "spk/daf.h"
#include "spk/kernel_source.h"
#include "spk/spk_error.h"
#include "spk/type2.h"

namespace ephemeris {

class SpkKernel {
 public:
  // Opens the regular file at `path` read-only and validates the file record.
  // Errors: Io (a FIFO or device is refused at once, "not a regular file")
  // and the file record errors of `parse_file_record`. Every later read is a
  // positional read that fails with Io once the file's size or modification
  // time differs from those at opening.
  static std::expected<SpkKernel, SpkError> open(const std::string& path);

  // Reads the 1024-byte file record from the start of `source` and validates
  // it. The source is dropped (closed) on failure.
  static std::expected<SpkKernel, SpkError> from_reader(KernelSource source);

  // The same over kernel bytes held in memory (KernelSource::from_bytes).
  static std::expected<SpkKernel, SpkError> from_bytes(std::vector<std::byte> bytes);

  SpkKernel(SpkKernel&&) noexcept = default;
  SpkKernel& operator=(SpkKernel&&) noexcept = default;
  SpkKernel(const SpkKernel&) = delete;
  SpkKernel& operator=(const SpkKernel&) = delete;

  const DafFileRecord& file_record() const { return file_record_; }

  // The segments in file order (summary records in chain order, summaries in
  // record order). The first successful walk of the summary chain is cached;
  // every call returns a copy. A failed walk leaves nothing cached.
  std::expected<std::vector<SpkSegment>, SpkError> segments();

  // The cached segment list without a copy, walking the chain when needed.
  // The view stays valid for the kernel's life.
  std::expected<std::span<const SpkSegment>, SpkError> segment_list();

  // `count` consecutive words from the one-based word address `start_address`,
  // converted from the file's byte order. Reading past the end of the file is
  // an Io error ("failed to fill whole buffer").
  std::expected<std::vector<double>, SpkError> read_words(std::int32_t start_address, std::uint32_t count);

  // States of one Type 2 segment at each epoch (TDB seconds past J2000), in
  // the order of `epochs`; km and km/s. Fails with the error of the first
  // epoch that fails alone.
  std::expected<std::vector<StateVector>, SpkError> evaluate_type2_at_epochs(const SegmentLoc& segment,
                                                                             std::span<const double> epochs);

  // Records are read in blocks of consecutive records (at most
  // kRecordBlockWords words, or one record when a record is longer), each
  // block once while it stays cached; record data read before a change of
  // the file on disk is still served from the cache. The blocks of all
  // segments together hold at most kMaxCachedRecordWords words: a block that
  // would pass the bound first drops every cached block. Each block counts
  // kRecordBlockOverheadWords more for its bookkeeping (map node, checks), so
  // that many small blocks stay bounded too, and each segment's table of
  // block views (two words a block of the segment) counts within the bound.
  static constexpr std::uint32_t kRecordBlockWords = 1024;
  static constexpr std::uint64_t kMaxCachedRecordWords = std::uint64_t{1} << 22;  // 32 MiB
  static constexpr std::uint64_t kRecordBlockOverheadWords = 32;

  // Numbers of Type 2 directories and record blocks read from the file so far.
  std::uint64_t type2_directory_reads() const { return directory_reads_; }
  std::uint64_t type2_record_reads() const { return record_reads_; }

 private:
  // Lookup and evaluation by position in the segment list, for the centre
  // chain walk only: indices always come from find_segment of the same kernel.
  friend class CenterChainAccess;
  static constexpr std::size_t kNoSegment = static_cast<std::size_t>(-1);

  // Index of the last segment in file order whose target is `body` and whose
  // coverage holds `epoch` (both ends included), or kNoSegment. Reads the
  // segment list on first use; its errors are returned.
  std::expected<std::size_t, SpkError> find_segment(std::int32_t body, double epoch);

  // The segment find_segment gives for every epoch of [first, last]: the
  // last one in file order whose target is `body` and whose coverage meets
  // the range, when it holds the whole range (kMixedSegments when it does
  // not), or kNoSegment when no segment of `body` meets the range.
  static constexpr std::size_t kMixedSegments = kNoSegment - 1;
  std::expected<std::size_t, SpkError> find_segment_over(std::int32_t body, double first, double last);

  // The SegmentLoc of a segment found by `find_segment`.
  const SegmentLoc& segment_loc(std::size_t index) const { return entries_[index].loc; }

  // `evaluate_type2_at_epochs` for one listed segment at one epoch, without
  // allocating once the segment's record is cached.
  std::expected<StateVector, SpkError> evaluate_segment(std::size_t index, double epoch);
  // The same at `lanes` epochs (as evaluate_checked_type2_records_into takes
  // them), false where any fails (try_evaluate_segment then serves each).
  bool try_evaluate_segment_lanes(std::size_t index, int lanes, const double epochs[], StateVector states[]);
  // Asks the processor to fetch the record evaluate_segment would use at
  // `epoch` when it is cached, and points to it (its words, size and checks)
  // when it is: the pointers stay valid while type2_record_reads() is
  // unchanged (only a read drops or replaces blocks), and gives its index
  // in the segment. False where try_evaluate_segment would load or decline.
  // Reads nothing of the record and changes nothing.
  bool prefetch_segment(std::size_t index, double epoch, const double*& words, std::uint32_t& size,
                        const Type2RecordCheck*& check, std::uint32_t& record_index) const;
  // Whether evaluate_segment would use record `record_index` at `epoch`.
  bool serves_with_record(std::size_t index, double epoch, std::uint32_t record_index) const;
  // The same into `state`, false where evaluate_segment fails (or would
  // read the directory: evaluate_segment then reads it).
  bool try_evaluate_segment(std::size_t index, double epoch, StateVector& state);
  // The position alone of try_evaluate_segment, bit for bit.
  bool try_evaluate_segment_position(std::size_t index, double epoch, std::array<double, 3>& position);


  // Records of one segment read together (one read for consecutive
  // records), with the checks made on each as it was read.
  struct RecordBlock {
    std::uint32_t first_record = 0;
    std::uint32_t record_count = 0;
    std::vector<double> words;
    std::vector<Type2RecordCheck> checks;
  };
  // A record ready for evaluation.
  struct LoadedRecord {
    const double* words = nullptr;
    Type2RecordCheck check;
  };
  // Where a block's records start (null where the block is not held or
  // was cut short: then the lookup goes through `blocks`), kept apart from
  // the blocks so that this small table stays in the processor's caches.
  struct BlockView {
    const double* words = nullptr;
    const Type2RecordCheck* checks = nullptr;
  };
  static constexpr std::uint64_t kBlockViewWords = sizeof(BlockView) / sizeof(double);
  // The Type 2 caches of one (start_address, end_address) key: the
  // directory, the blocks read (by record index / records_per_block), the
  // views of whole blocks (a table over all of the segment's blocks, null
  // where none is held; empty where it did not fit within the bound) and
  // the record used last.
  struct CacheSlot {
    std::optional<Type2Directory> directory;
    std::uint32_t records_per_block = 1;
    std::unordered_map<std::uint32_t, RecordBlock> blocks;
    std::vector<BlockView> views;
    bool has_last = false;
    std::uint32_t last_index = 0;
    LoadedRecord last;
  };
  // A listed segment as the lookup scans it.
  struct Entry {
    std::int32_t target;
    SegmentLoc loc;
    std::uint32_t slot;
  };

  SpkKernel(KernelSource source, DafFileRecord file_record)
      : source_(std::move(source)), file_record_(std::move(file_record)) {}

  std::expected<std::vector<SpkSegment>, SpkError> walk_summary_chain();
  std::expected<void, SpkError> read_bytes_at(std::uint64_t offset, std::span<std::byte> buffer);
  std::expected<void, SpkError> read_words_into(std::int32_t start_address, std::uint32_t count,
                                                std::vector<double>& words);
  std::uint32_t slot_for(std::int32_t start_address, std::int32_t end_address);
  std::expected<const Type2Directory*, SpkError> directory_for(CacheSlot& slot, const SegmentLoc& segment);
  std::expected<LoadedRecord, SpkError> load_record(CacheSlot& slot, const SegmentLoc& segment,
                                                    const Type2Directory& directory, std::uint32_t record_index);
  void drop_record_blocks();
  // The cached record (and its size) serving `epoch` in listed segment
  // `index`, loaded when needed; false where the segment is not Type 2, does
  // not cover the epoch, has no directory read yet or the load fails.
  bool quick_record(std::size_t index, double epoch, LoadedRecord& record, std::uint32_t& record_size);
  // The index of the record serving `epoch` in listed Type 2 segment
  // `index`, false where the segment is not Type 2, does not cover the
  // epoch or has no directory read yet.
  bool record_index_at(std::size_t index, double epoch, std::uint32_t& record_index) const;
  std::expected<StateVector, SpkError> evaluate_one_in_slot(std::uint32_t slot_index, const SegmentLoc& segment,
                                                            double epoch);

  // find_segment's memory of recent answers: by body code modulo
  // kFoundSize, the segment (an index into entries_) that serves the body at
  // every epoch it covers (no later segment of the body overlaps it), or
  // kNoSegment when the kernel has no segment of the body at all.
  struct Found {
    std::int32_t body = 0;
    bool valid = false;
    std::size_t segment = 0;
  };
  static constexpr std::size_t kFoundSize = 16;

  KernelSource source_;
  DafFileRecord file_record_;
  std::optional<std::vector<SpkSegment>> segments_;
  std::vector<Entry> entries_;  // parallel to *segments_
  std::array<Found, kFoundSize> found_{};

  std::vector<CacheSlot> slots_;
  std::unordered_map<std::uint64_t, std::uint32_t> slot_of_key_;
  std::uint64_t cached_words_ = 0;  // words held by the record blocks of all slots, overhead included
  std::uint64_t directory_reads_ = 0;
  std::uint64_t record_reads_ = 0;
};

}  // namespace ephemeris
