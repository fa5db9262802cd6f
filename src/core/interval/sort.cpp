#include "core/interval/sort.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "core/archive/codecs.hpp"

namespace ar4 {

namespace {

// A run's place in the merge: the cell at its cursor decides. A cell without a time stamp is taken at
// once, by the first-listed run that has one; otherwise the smallest stamp wins and equal stamps go to
// the run listed first. The key packs exactly that order: rank (0 without stamp, 1 + stamp with one)
// above the run index.
constexpr unsigned kRunIndexBits = 10;
static_assert(kIntervalListCapacity <= (std::size_t{1} << kRunIndexBits));
constexpr std::uint64_t kRunIndexMask = (std::uint64_t{1} << kRunIndexBits) - 1;

constexpr std::uint64_t MergeKey(std::uint32_t stamp, std::uint32_t run) {
  const std::uint64_t rank = HasTimeStamp(stamp) ? (std::uint64_t{1} << 32) | stamp : 0;
  return (rank << kRunIndexBits) | run;
}

/// The progress figure: slots written x 100 div TotalCells.
std::uint32_t Percent(std::uint32_t written, std::uint32_t total) {
  return total == 0 ? 0u : static_cast<std::uint32_t>(std::uint64_t{written} * 100 / total);
}

/// Restores the min-heap order below `i` after heap[i] was replaced. The hole goes down to a leaf along
/// the smaller children (one comparison a level, without a branch), then the key climbs back to its
/// place: a replaced key usually belongs near the bottom (the run's next stamp is later than most), so
/// this takes about half the comparisons of a sift that tests the key on the way down, and far fewer
/// mispredicted branches. Keys are unique (the run index is part of them), so the order taken from the
/// heap is the same either way.
void SiftDown(std::vector<std::uint64_t>& heap, std::size_t i) {
  const std::size_t n = heap.size();
  if (i >= n) return;
  std::uint64_t* h = heap.data();
  const std::uint64_t key = h[i];
  std::size_t hole = i;
  std::size_t child = 2 * hole + 1;
  for (; child + 1 < n; child = 2 * hole + 1) {
    child += h[child + 1] < h[child] ? 1 : 0;
    h[hole] = h[child];
    hole = child;
  }
  if (child < n) {
    h[hole] = h[child];
    hole = child;
  }
  while (hole > i) {
    const std::size_t parent = (hole - 1) / 2;
    if (h[parent] < key) break;
    h[hole] = h[parent];
    hole = parent;
  }
  h[hole] = key;
}

bool InRing(const RingGeometry& ring, std::uint32_t page, std::uint32_t cell) {
  return page < ring.PageCount && cell < ring.CellsPerPage;
}

class Merge {
 public:
  Merge(const std::uint8_t* main_block, std::uint8_t* sort_buffer, const RingGeometry& ring,
        const std::uint32_t* valid_masks)
      : main_block_(main_block),
        sort_buffer_(sort_buffer),
        ring_(ring),
        total_(ring.TotalCells()),
        // The masks hold the cells the successor rule visits on a page only when the ring is laid out so.
        valid_masks_(ring.CellsPerPage <= 32 && ring.CellsPerPage == kPageSize / ring.CellSize ? valid_masks
                                                                                              : nullptr) {}

  std::uint32_t Written() const { return written_; }
  bool Full() const { return written_ >= total_; }

  const std::uint8_t* CursorCell(const IntervalEntry& run) const {
    return main_block_ + ring_.Offset({run.CursorPage, run.CursorCell});
  }
  bool CursorIntact(const IntervalEntry& run) const {
    if (valid_masks_ != nullptr) return ((valid_masks_[run.CursorPage] >> run.CursorCell) & 1u) != 0;
    return IsCellIntact(CursorCell(run), ring_.CellSize);
  }
  static bool AtLast(const IntervalEntry& run) {
    return run.CursorPage == run.LastPage && run.CursorCell == run.LastCell;
  }
  void Advance(IntervalEntry& run) const {
    const CellPosition next = ring_.Next({run.CursorPage, run.CursorCell});
    run.CursorPage = next.Page;
    run.CursorCell = next.Cell;
  }

  /// Damaged cells are passed over; one at the run's last position ends the run where it stands.
  void SkipDamaged(IntervalEntry& run) const {
    while (run.Active != 0 && !CursorIntact(run)) {
      if (AtLast(run)) {
        run.Active = 0;
      } else {
        Advance(run);
      }
    }
  }

  /// One selection of run `run`: its cursor cell, then the intact cells without a time stamp that
  /// follow it directly, so such a cell stays right behind the cell of its run before it. Damaged cells
  /// after them are passed over (ending the copying of cells without a stamp), so the cursor is left on
  /// the run's next intact cell. Each cell's check byte is computed once.
  void Take(IntervalEntry& run) {
    CopyToSlot(CursorCell(run));
    if (AtLast(run)) run.Active = 0;
    Advance(run);
    bool directly_behind = true;
    while (run.Active != 0) {
      if (CursorIntact(run)) {
        if (!directly_behind || HasTimeStamp(CellStamp(CursorCell(run))) || Full()) return;
        CopyToSlot(CursorCell(run));
      } else {
        directly_behind = false;
      }
      if (AtLast(run)) {
        run.Active = 0;
      } else {
        Advance(run);
      }
    }
  }

  /// Slots after the last written one get zero bytes; the padding at the end of each page is no slot.
  void ZeroFillRest() {
    for (; written_ < total_; ++written_) std::memset(NextSlot(), 0, ring_.CellSize);
  }

 private:
  std::uint8_t* NextSlot() {
    std::uint8_t* slot = sort_buffer_ + ring_.Offset(slot_);
    if (++slot_.Cell >= ring_.CellsPerPage) slot_ = {slot_.Page + 1, 0};
    return slot;
  }
  void CopyToSlot(const std::uint8_t* cell_bytes) {
    std::memcpy(NextSlot(), cell_bytes, ring_.CellSize);
    ++written_;
  }

  const std::uint8_t* main_block_;
  std::uint8_t* sort_buffer_;
  const RingGeometry& ring_;
  std::uint32_t total_;
  const std::uint32_t* valid_masks_;
  std::uint32_t written_ = 0;
  CellPosition slot_{};
};

}  // namespace

std::uint32_t SortirBufMinMaxDate(const std::uint8_t* main_block, std::uint8_t* sort_buffer,
                                  const RingGeometry& ring, IntervalList& list, const SortProgress& progress,
                                  Pacer& pacer, const std::uint32_t* valid_masks) {
  Merge merge(main_block, sort_buffer, ring, valid_masks);
  const std::uint32_t total = ring.TotalCells();
  const auto runs = static_cast<std::uint32_t>(std::min<std::size_t>(list.ItemCount, kIntervalListCapacity));

  // Min-heap of the active runs by MergeKey, without the run taken last: that one stays out while it
  // still wins, so a stretch of cells from one run costs no heap operation, and otherwise trades places
  // with the heap's top in one sift.
  std::vector<std::uint64_t> heap;
  heap.reserve(runs);
  const auto key_of = [&](std::uint32_t k) { return MergeKey(CellStamp(merge.CursorCell(list.Entries[k])), k); };
  for (std::uint32_t k = 0; k < runs; ++k) {
    IntervalEntry& run = list.Entries[k];
    run.CursorPage = run.FirstPage;
    run.CursorCell = run.FirstCell;
    run.Active = 1;
    // A run whose ends lie outside this ring cannot come from the analysis of this archive; its cursor
    // would never meet its end, so it is left out.
    if (!InRing(ring, run.FirstPage, run.FirstCell) || !InRing(ring, run.LastPage, run.LastCell)) {
      run.Active = 0;
      continue;
    }
    merge.SkipDamaged(run);
    if (run.Active != 0) heap.push_back(key_of(k));
  }
  std::make_heap(heap.begin(), heap.end(), std::greater<>());
  const auto run_of = [](std::uint64_t key) { return static_cast<std::uint32_t>(key & kRunIndexMask); };
  const auto pop = [&] {
    const std::uint32_t k = run_of(heap.front());
    heap.front() = heap.back();
    heap.pop_back();
    SiftDown(heap, 0);
    return k;
  };

  // The progress figure w x 100 div TotalCells is handed on whenever it changes: next_report is the
  // count of written slots at which it next does.
  std::uint64_t next_report = 0;
  const auto report = [&] {
    const std::uint32_t percent = Percent(merge.Written(), total);
    progress(percent);
    next_report = total == 0 ? ~std::uint64_t{0} : ((std::uint64_t{percent} + 1) * total + 99) / 100;
  };

  bool have_current = !heap.empty();
  std::uint32_t current = have_current ? pop() : 0;
  // The written slots cannot outgrow the ring when the runs are those of the analysis (they do not
  // overlap); the test keeps a list from elsewhere from writing past the buffer.
  while (have_current && !merge.Full()) {
    IntervalEntry& run = list.Entries[current];
    merge.Take(run);
    if (run.Active != 0) {
      const std::uint64_t key = key_of(current);
      if (!heap.empty() && heap.front() < key) {
        current = run_of(heap.front());
        heap.front() = key;
        SiftDown(heap, 0);
      }
    } else if (heap.empty()) {
      have_current = false;
    } else {
      current = pop();
    }
    pacer.Step();
    if (progress && merge.Written() >= next_report) report();
  }

  const std::uint32_t written = merge.Written();
  merge.ZeroFillRest();
  if (progress) progress(Percent(written, total));
  return written;
}

}  // namespace ar4
