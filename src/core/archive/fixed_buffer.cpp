#include "core/archive/fixed_buffer.hpp"

#include <new>

#ifdef _WIN32
#include <windows.h>
#else
#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ar4 {
namespace {

std::size_t PageSize() {
#ifdef _WIN32
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
#else
  static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return size;
#endif
}

std::size_t WholePages(std::size_t bytes) { return (bytes + PageSize() - 1) / PageSize() * PageSize(); }

#ifndef _WIN32

// The fault guard of mapped buffers. A page of a mapped file that cannot be read when it is touched raises
// SIGBUS; for a page of a guarded buffer the handler puts a zero page in its place, notes the loss and lets
// the program go on. The handler can reach nothing but these slots, so they are the one global state of
// the buffers: lock-free atomics, set and cleared by MapFile and Clear.
struct GuardSlot {
  std::atomic<bool> InUse{false};
  std::atomic<std::uintptr_t> Begin{0};
  std::atomic<std::uintptr_t> End{0};  // 0 while the slot watches nothing
  std::atomic<bool> Lost{false};
};
constexpr int kGuardSlots = 16;
GuardSlot g_guard_slots[kGuardSlots];
struct sigaction g_previous_bus_action {};
std::size_t g_guard_page_size = 0;

void OnBusError(int signal, siginfo_t* info, void*) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  if (info->si_code > 0) {  // a fault, not a signal sent by a program
    for (GuardSlot& slot : g_guard_slots) {
      const std::uintptr_t end = slot.End.load();
      if (end == 0 || address < slot.Begin.load() || address >= end) continue;
      void* page = reinterpret_cast<void*>(address & ~(g_guard_page_size - 1));
      if (::mmap(page, g_guard_page_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
          MAP_FAILED) {
        slot.Lost.store(true);
        return;  // the access is made again, now of the zero page
      }
    }
  }
  // Not a page of a guarded buffer: as if the handler were not there. A fault happens again as soon as this
  // returns; a signal sent is delivered again once the handler has returned.
  ::sigaction(SIGBUS, &g_previous_bus_action, nullptr);
  if (info->si_code <= 0) ::raise(signal);
}

void InstallGuard() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    g_guard_page_size = PageSize();
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previous_bus_action);
  });
}

/// A free slot watching [begin, end), or -1 when every slot is taken.
int Guard(std::uintptr_t begin, std::uintptr_t end) {
  InstallGuard();
  for (int i = 0; i < kGuardSlots; ++i) {
    bool free = false;
    if (!g_guard_slots[i].InUse.compare_exchange_strong(free, true)) continue;
    g_guard_slots[i].Lost.store(false);
    g_guard_slots[i].Begin.store(begin);
    g_guard_slots[i].End.store(end);
    return i;
  }
  return -1;
}

#endif

}  // namespace

FixedBuffer::FixedBuffer(std::size_t size, std::size_t lead)
    : size_(size), reserved_(WholePages(lead + size)), lead_(lead) {
  if (lead >= PageSize()) throw std::bad_alloc();
#ifdef _WIN32
  // Committed pages are zero and take physical memory only when first touched.
  base_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, reserved_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (base_ == nullptr) throw std::bad_alloc();
#else
  void* block = ::mmap(nullptr, reserved_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) throw std::bad_alloc();
  base_ = static_cast<std::uint8_t*>(block);
#ifdef MADV_HUGEPAGE
  // Large pages where the kernel offers them: a 32 MiB buffer then takes 16 page faults instead of 8192.
  // Only a hint; without them the buffer works the same.
  ::madvise(block, reserved_, MADV_HUGEPAGE);
#endif
#endif
  data_ = base_ + lead_;
}

FixedBuffer::~FixedBuffer() {
  Unguard();
#ifdef _WIN32
  VirtualFree(base_, 0, MEM_RELEASE);
#else
  ::munmap(base_, reserved_);
#endif
}

void FixedBuffer::Unguard() {
#ifndef _WIN32
  if (guard_ < 0) return;
  GuardSlot& slot = g_guard_slots[guard_];
  slot.End.store(0);
  slot.Begin.store(0);
  slot.InUse.store(false);
#endif
  guard_ = -1;
}

bool FixedBuffer::LostPages() const {
#ifdef _WIN32
  return false;
#else
  return guard_ >= 0 && g_guard_slots[guard_].Lost.load();
#endif
}

void FixedBuffer::Clear() {
  Unguard();
#ifdef _WIN32
  // Decommitted and committed again: zero pages, taken only when touched.
  if (VirtualFree(base_, reserved_, MEM_DECOMMIT) == 0 ||
      VirtualAlloc(base_, reserved_, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
    throw std::bad_alloc();
  }
#else
  // Fresh zero pages in place of whatever was there, file pages included.
  if (::mmap(base_, reserved_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) {
    throw std::bad_alloc();
  }
#ifdef MADV_HUGEPAGE
  ::madvise(base_, reserved_, MADV_HUGEPAGE);
#endif
#endif
}

bool FixedBuffer::MapFile(int descriptor, std::uint64_t offset, std::size_t length) {
#ifdef _WIN32
  (void)descriptor;
  (void)offset;
  (void)length;
  return false;
#else
  if (length > size_ || offset % PageSize() != lead_) return false;
  Clear();
  if (length == 0) return true;
  const std::size_t mapped = lead_ + length;
  if (::mmap(base_, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, descriptor,
             static_cast<off_t>(offset - lead_)) == MAP_FAILED) {
    Clear();  // a mapping that failed may have taken the pages before it away
    return false;
  }
  guard_ = Guard(reinterpret_cast<std::uintptr_t>(base_), reinterpret_cast<std::uintptr_t>(base_ + WholePages(mapped)));
  if (guard_ < 0) {
    Clear();
    return false;
  }
#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif
  // Every page read in now, as a read of the file would: a page that cannot be read is a failure now
  // rather than a lost page later. A kernel without this advice reads the pages when they are touched.
  if (::madvise(base_, mapped, MADV_POPULATE_READ) != 0 && errno != EINVAL && errno != ENOMEM) {
    Clear();
    return false;
  }
  return true;
#endif
}

}  // namespace ar4
