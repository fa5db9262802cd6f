#include "core/export/export_segments.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/archive/codecs.hpp"
#include "core/export/export_state.hpp"
#include "core/export/walk_steps.hpp"

namespace ar4 {
namespace {

constexpr std::string_view kOverlapSeparator = "    -_?_-    ";
/// Characters in front of the 22-character time text of a stamped cell: blanks, or the detailed mode's
/// "$", 8 digits and 3 blanks, then a blank; or the overlap letter "A" in place of that last blank.
constexpr std::size_t kLeadLength = kTimeTextEnd - kPackedTextLength;
/// Type 89: at most 16 samples per cell, one record and one line of 119 characters and CR LF each.
constexpr std::size_t kMaxSamples = 16;
constexpr std::size_t kGrv300LineLength = 119 + kLineEnd.size();
/// How long the calling thread waits for a segment before it lets the front-end breathe.
constexpr std::chrono::milliseconds kBreathePeriod(30);

/// The largest output of one position of the walk, per file.
struct PositionBytes {
  std::size_t Listing;
  std::size_t Channel;  // in each channel file
  std::size_t Relay;    // in each relay file
};

PositionBytes MostBytesPerPosition(const DeviceProfile& profile) {
  if (profile.DeviceType == kGrv300DeviceType) {
    return {kMaxSamples * kGrv300LineLength, kMaxSamples * kPenRecordSize, 0};
  }
  const std::size_t line = kTimeTextEnd + kValueFieldWidth * profile.Channels + 7 + 3 * std::size_t{profile.Relays} +
                           kLineEnd.size();
  const std::size_t invalid = kLeadLength - 1 + kInvalidCellText.size() + kLineEnd.size();
  return {std::max(line, invalid), kPenRecordSize, kRelRecordSize};
}

/// One segment of the walk with its buffers, allocated once per export and reused for every k-th segment.
struct Segment {
  Segment(const DeviceProfile& profile, std::uint32_t capacity) {
    const PositionBytes most = MostBytesPerPosition(profile);
    listing = std::make_unique_for_overwrite<char[]>(most.Listing * capacity + ListingLine::kCapacity);
    const std::size_t channel_area = most.Channel * capacity + kRecordSlack;
    const std::size_t relay_area = most.Relay * capacity + kRecordSlack;
    records = std::make_unique_for_overwrite<std::uint8_t[]>(channel_area * profile.Channels +
                                                             relay_area * profile.Relays);
    std::uint8_t* at = records.get();
    for (std::size_t g = 0; g < profile.Channels; ++g, at += channel_area) ChannelBegin[g] = at;
    for (std::size_t r = 0; r < profile.Relays; ++r, at += relay_area) RelayBegin[r] = at;
  }

  // Set by whoever claims the segment.
  std::uint64_t First = 0;  // walk index of its first position
  std::uint32_t Count = 0;
  // The formatted output.
  std::unique_ptr<char[]> listing;
  std::unique_ptr<std::uint8_t[]> records;
  char* ListingEnd = nullptr;
  std::array<std::uint8_t*, kFileSlots> ChannelBegin{};
  std::array<std::uint8_t*, kFileSlots> ChannelEnd{};
  std::array<std::uint8_t*, kFileSlots> RelayBegin{};
  std::array<std::uint8_t*, kFileSlots> RelayEnd{};
  SegmentTimes Times;
  std::uint32_t ExportedCells = 0;
};

std::uint64_t Linear(const RingGeometry& ring, CellPosition position) {
  return std::uint64_t{position.Page} * ring.CellsPerPage + position.Cell;
}

/// The steps of the ExportWalk for `segment.Count` positions from walk index `segment.First`, for the type
/// kDeviceProfiles[kIndex].
template <std::size_t kIndex>
void FormatSegmentOf(const ExportJob& job, Segment& segment) {
  constexpr DeviceProfile kProfile = kDeviceProfiles[kIndex];
  constexpr std::size_t kCellSize = kProfile.CellSize;
  const bool detailed = job.Settings.DetailedMode;
  ExportState state(job.Profile, job.Settings);
  state.Channels = segment.ChannelBegin;
  state.Relays = segment.RelayBegin;
  state.Line.StartAt(segment.listing.get());

  WalkSteps<kIndex>(
      job.MainBlock, job.Ring, job.Bounds, segment.First, segment.Count,
      [&](CellPosition position) {
        state.Line.Clear();
        if (detailed) state.Line.AppendCellOffset(position, kCellSize);
      },
      [&](const std::uint8_t* cell) {
        if constexpr (kProfile.DeviceType == kGrv300DeviceType) {
          ExportGrv300Cell(state, cell);
        } else {
          ExportChannelCell(state, cell);
        }
      },
      [&] {
        if (detailed) {
          state.Line.Append(kInvalidCellText);
          state.WriteLine();
        }
      },
      job.ValidCellMasks);

  segment.Times = state.Times;
  segment.Times.LastStamp = state.PreviousStamp;
  segment.ExportedCells = state.ExportedCells;
  segment.ListingEnd = state.Line.Data();  // where a line not written would have begun
  if constexpr (kProfile.DeviceType == kGrv300DeviceType) {
    segment.ChannelEnd = state.Channels;
  } else {
    // One record per exported cell in every file.
    for (std::size_t g = 0; g < kProfile.Channels; ++g) {
      segment.ChannelEnd[g] = segment.ChannelBegin[g] + std::size_t{state.ExportedCells} * kPenRecordSize;
    }
    for (std::size_t r = 0; r < kProfile.Relays; ++r) {
      segment.RelayEnd[r] = segment.RelayBegin[r] + std::size_t{state.ExportedCells} * kRelRecordSize;
    }
  }
}

template <std::size_t... kIndex>
constexpr auto SegmentFormatters(std::index_sequence<kIndex...>) {
  return std::array<void (*)(const ExportJob&, Segment&), sizeof...(kIndex)>{&FormatSegmentOf<kIndex>...};
}

constexpr auto kSegmentFormatters = SegmentFormatters(std::make_index_sequence<kDeviceProfiles.size()>());

void FormatSegment(const ExportJob& job, Segment& segment) {
  // The profile is an entry of the table (checked before the walk).
  kSegmentFormatters[static_cast<std::size_t>(&job.Profile - kDeviceProfiles.data())](job, segment);
}

/// The parts of a segment, one per output file, in the order they are written: the listing, the channel
/// files, the relay files.
std::size_t PartCount(const DeviceProfile& profile) { return 1 + std::size_t{profile.Channels} + profile.Relays; }

/// Writes part `part` of a segment to its file.
void WriteSegmentPart(const Segment& segment, const DeviceProfile& profile, std::size_t part, ExportFiles& files) {
  const auto size = [](const auto* begin, const auto* end) { return static_cast<std::size_t>(end - begin); };
  if (part == 0) {
    files.Listing().WriteBlock(segment.listing.get(), size(segment.listing.get(), segment.ListingEnd));
  } else if (part <= profile.Channels) {
    const std::size_t g = part - 1;
    files.Channel(g).WriteBlock(segment.ChannelBegin[g], size(segment.ChannelBegin[g], segment.ChannelEnd[g]));
  } else {
    const std::size_t r = part - 1 - profile.Channels;
    files.Relay(r).WriteBlock(segment.RelayBegin[r], size(segment.RelayBegin[r], segment.RelayEnd[r]));
  }
}

/// What the threads of one walk share; the counters under `mutex`. The results of the walk are touched
/// only by the thread whose turn it is to write the listing part, and read by the calling thread after the
/// last write.
struct WalkShared {
  std::mutex mutex;
  std::condition_variable turn;      // a part was written or a segment formatted: there may be work to take
  std::condition_variable progress;  // every segment was written, or the walk failed
  std::uint64_t NextClaim = 0;       // segments are claimed in walk order
  std::uint64_t Written = 0;         // segments written whole; segment k may use its buffers once k < Written + contexts
  /// Per output file: the segments whose part of that file is written. Each file gets the segments in walk
  /// order; different files are written at the same time by different threads.
  std::array<std::uint64_t, 1 + 2 * kFileSlots> PartsWritten{};
  bool Stop = false;
  std::exception_ptr Failure;
  ExportResult Result;
  std::uint32_t PreviousStamp = 0;   // the last stamp exported before the next segment to join
};

/// The worker threads of one walk; stopped and joined on every way out of the walk.
class Workers {
 public:
  explicit Workers(WalkShared& shared) : shared_(shared) {}
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  ~Workers() {
    {
      std::lock_guard<std::mutex> lock(shared_.mutex);
      shared_.Stop = true;
    }
    shared_.turn.notify_all();
    shared_.progress.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  /// Starts up to `count` threads running `body`; fewer when the system refuses one. Returns how many run.
  template <class Body>
  int Start(int count, const Body& body) {
    threads_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      try {
        threads_.emplace_back(body);
      } catch (const std::system_error&) {
        break;
      }
    }
    return static_cast<int>(threads_.size());
  }

 private:
  WalkShared& shared_;
  std::vector<std::thread> threads_;
};

}  // namespace

void AddOverlap(ExportResult& result, std::uint32_t previous, std::uint32_t stamp) {
  ++result.OverlapCount;
  if (result.OverlapCount > kMaxOverlapEntries) return;
  result.OverlapText += "\n\r";
  AppendPackedToText(result.OverlapText, previous);
  result.OverlapText += kOverlapSeparator;
  AppendPackedToText(result.OverlapText, stamp);
}

int DefaultWorkerCount() { return std::thread::hardware_concurrency() >= 2 ? 2 : 0; }

std::uint32_t DefaultSegmentPositions(const DeviceProfile& profile) {
  const PositionBytes most = MostBytesPerPosition(profile);
  const std::size_t per_position =
      most.Listing + most.Channel * profile.Channels + most.Relay * std::size_t{profile.Relays};
  return static_cast<std::uint32_t>(std::clamp<std::size_t>(kSegmentBytes / per_position, 256, 16384));
}

std::uint64_t WalkLength(const RingGeometry& ring, const ExportBounds& bounds) {
  const std::uint64_t total = ring.TotalCells();
  const std::uint64_t length = (Linear(ring, bounds.EndPosition) + total - Linear(ring, bounds.StartPosition)) % total;
  return length == 0 ? total : length;  // the stop test follows the first cell
}

void JoinSegmentTimes(const SegmentTimes& times, std::uint32_t& previous_stamp, ExportResult& result) {
  if (!times.HasStamp) return;
  if (times.FirstStamp < previous_stamp) {
    // The overlap letter goes in front of the line: the lead moves one place right and loses its last
    // blank, so the time text still ends in column 35.
    std::memmove(times.FirstLine + 1, times.FirstLine, kLeadLength - 1);
    times.FirstLine[0] = 'A';
    AddOverlap(result, previous_stamp, times.FirstStamp);
  }
  for (std::uint32_t i = 0; i < times.Listed; ++i) {
    AddOverlap(result, times.Entries[i].Previous, times.Entries[i].Stamp);
  }
  result.OverlapCount += times.OverlapCount - times.Listed;
  previous_stamp = times.LastStamp;
}

ExportResult ExportWalk(const ExportJob& job, ExportFiles& files, const GaugeCallback& gauge, Pacer& pacer,
                        const WalkOptions& options) {
  const std::uint64_t length = WalkLength(job.Ring, job.Bounds);
  const std::uint32_t per_segment =
      options.SegmentPositions != 0 ? options.SegmentPositions : DefaultSegmentPositions(job.Profile);
  const std::uint64_t segment_count = (length + per_segment - 1) / per_segment;
  const int wanted = segment_count >= 2 ? (options.Workers >= 0 ? options.Workers : DefaultWorkerCount()) : 0;
  const std::uint32_t contexts_wanted = options.Contexts != 0 ? options.Contexts
                                                              : static_cast<std::uint32_t>(std::max(wanted, 1));
  const std::uint64_t context_count = std::clamp<std::uint64_t>(contexts_wanted, 1, segment_count);
  const std::uint32_t capacity = static_cast<std::uint32_t>(std::min<std::uint64_t>(per_segment, length));
  std::vector<std::unique_ptr<Segment>> segments;
  for (std::uint64_t i = 0; i < context_count; ++i) segments.push_back(std::make_unique<Segment>(job.Profile, capacity));

  WalkShared shared;
  // Per context (segment k uses context k % context_count), under the mutex: whether its segment is
  // formatted, which of its parts a thread has taken to write, and how many are not written yet.
  struct ContextState {
    bool Formatted = false;   // its parts may be written
    bool Finished = false;    // every part written; the context is free once the segments before are too
    std::uint64_t Taken = 0;  // bit p: part p
    std::size_t PartsLeft = 0;
  };
  std::vector<ContextState> states(context_count);
  // Claims the next segment when its buffers are free; null when there is none to claim now.
  const auto try_claim = [&]() -> Segment* {
    if (shared.Stop || shared.NextClaim >= segment_count || shared.NextClaim >= shared.Written + context_count) {
      return nullptr;
    }
    const std::uint64_t k = shared.NextClaim++;
    Segment& segment = *segments[k % context_count];
    segment.First = k * per_segment;
    segment.Count = static_cast<std::uint32_t>(std::min<std::uint64_t>(per_segment, length - segment.First));
    return &segment;
  };
  const std::size_t parts = PartCount(job.Profile);
  // A part of a formatted segment whose file's turn has come and that no thread has taken yet: the oldest
  // segment first, then file order. Every file gets the segments in walk order, while the threads write
  // different files at the same time; a thread that would wait for the file another one is writing takes
  // another file instead.
  struct PartToWrite {
    std::uint64_t Segment;
    std::size_t Part;
  };
  const auto next_part = [&]() -> std::optional<PartToWrite> {
    for (std::uint64_t k = shared.Written; k < shared.NextClaim; ++k) {
      const ContextState& state = states[k % context_count];
      if (!state.Formatted) continue;
      for (std::size_t part = 0; part < parts; ++part) {
        if (((state.Taken >> part) & 1u) == 0 && shared.PartsWritten[part] == k) return PartToWrite{k, part};
      }
    }
    return std::nullopt;
  };
  // Writes one part; the segment is joined to the ones before it on the turn of its listing part. Called and
  // returns with `lock` held.
  const auto write = [&](PartToWrite next, std::unique_lock<std::mutex>& lock) {
    ContextState& state = states[next.Segment % context_count];
    const Segment& segment = *segments[next.Segment % context_count];
    state.Taken |= std::uint64_t{1} << next.Part;
    lock.unlock();
    if (next.Part == 0) {
      JoinSegmentTimes(segment.Times, shared.PreviousStamp, shared.Result);
      shared.Result.ExportedCells += segment.ExportedCells;
    }
    WriteSegmentPart(segment, job.Profile, next.Part, files);
    lock.lock();
    shared.PartsWritten[next.Part] = next.Segment + 1;
    if (--state.PartsLeft == 0) {
      state.Formatted = false;
      state.Finished = true;
      // Segments may be finished out of order (each one's last part is another file); Written counts the
      // ones finished without a gap before them.
      while (shared.Written < shared.NextClaim && states[shared.Written % context_count].Finished) {
        states[shared.Written % context_count].Finished = false;
        ++shared.Written;
      }
      // The calling thread looks at the count when it wakes to breathe; it is woken only by the end.
      if (shared.Written == segment_count) shared.progress.notify_all();
    }
    shared.turn.notify_all();
  };
  // Formats a claimed segment; its parts may be written from then on. Called and returns with `lock` held.
  const auto format = [&](Segment& segment, std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    FormatSegment(job, segment);
    lock.lock();
    ContextState& state = states[(segment.First / per_segment) % context_count];
    state.Formatted = true;
    state.Taken = 0;
    state.PartsLeft = parts;
    shared.turn.notify_all();
  };
  const auto fail = [&](std::unique_lock<std::mutex>& lock) {
    if (!lock.owns_lock()) lock.lock();
    if (!shared.Failure) shared.Failure = std::current_exception();
    shared.Stop = true;
    lock.unlock();
    shared.turn.notify_all();
    shared.progress.notify_all();
  };
  // One step of the work with `lock` held: a part to write first (it frees buffers), else a segment to
  // format. False when there is nothing to do now.
  const auto step = [&](std::unique_lock<std::mutex>& lock) {
    if (const std::optional<PartToWrite> next = next_part()) {
      write(*next, lock);
      return true;
    }
    if (Segment* segment = try_claim()) {
      format(*segment, lock);
      return true;
    }
    return false;
  };
  const auto work = [&] {
    std::unique_lock<std::mutex> lock(shared.mutex);
    try {
      while (!shared.Stop && shared.Written < segment_count) {
        if (!step(lock)) shared.turn.wait(lock);
      }
    } catch (...) {
      fail(lock);
    }
  };

  Workers workers(shared);
  const int running = wanted > 0 ? workers.Start(wanted, work) : 0;

  // The calling thread follows the written segments: it moves the gauge, counts the steps of the pacer and
  // lets the front-end breathe while it waits. Without workers it formats and writes the segments itself.
  std::uint32_t percent = 0;
  const std::uint32_t first_cell = job.Bounds.StartPosition.Cell;
  std::uint64_t followed = 0;
  const auto follow = [&](std::uint64_t written) {
    for (; followed < written; ++followed) {
      const std::uint64_t first = followed * per_segment;
      const std::uint64_t count = std::min<std::uint64_t>(per_segment, length - first);
      // PagesDone grows whenever the walk steps onto cell 0 of a page; the gauge moves on every change.
      const std::uint64_t pages_before = (first_cell + first) / job.Ring.CellsPerPage;
      const std::uint64_t pages_after = (first_cell + first + count) / job.Ring.CellsPerPage;
      for (std::uint64_t pages = pages_before + 1; pages <= pages_after; ++pages) {
        const auto now = static_cast<std::uint32_t>(pages * 100u / job.Ring.PageCount);
        if (now != percent) {
          percent = now;
          if (gauge) gauge(static_cast<int>(percent));
        }
      }
      for (std::uint64_t i = 0; i < count; ++i) pacer.Step();
    }
  };
  std::unique_lock<std::mutex> lock(shared.mutex);
  while (followed < segment_count) {
    if (shared.Failure) std::rethrow_exception(shared.Failure);
    if (running == 0) {
      while (shared.Written == followed) step(lock);
    } else if (shared.Written == followed) {
      if (!shared.progress.wait_for(lock, kBreathePeriod,
                                    [&] { return shared.Written > followed || shared.Failure; })) {
        lock.unlock();
        pacer.Breathe();
        lock.lock();
      }
      continue;
    }
    const std::uint64_t written = shared.Written;
    lock.unlock();
    follow(written);
    lock.lock();
  }
  if (shared.Failure) std::rethrow_exception(shared.Failure);
  return shared.Result;
}

}  // namespace ar4
