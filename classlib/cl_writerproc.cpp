#include "cl_writerproc.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <new>

#include "cl_hostfile.h"
#include "cl_sync.h"

namespace cl {

namespace {

constexpr wchar_t kSwitch[] = L"--cl-file-writer";

static_assert(std::atomic<uint32_t>::is_always_lock_free, "counters shared between processes");

struct Slot {
  uint32_t PathAt, PathBytes, DataAt, DataBytes;
  int32_t Result;
};

uint32_t AlignUp(uint32_t n) { return (n + 63u) & ~63u; }

}  // namespace

// Counts only grow (modulo 2^32); Published - Completed files are in flight.
struct FileWriterProcess::Shared {
  std::atomic<uint32_t> Published;
  std::atomic<uint32_t> Completed;
  std::atomic<uint32_t> WriterSleeps;  // the writer waits on the work event
  std::atomic<uint32_t> OwnerSleeps;   // the owner waits on the wake event...
  std::atomic<uint32_t> WantCompleted;  // ...for Completed to reach this
  std::atomic<uint32_t> Quit;
  std::atomic<uint32_t> Started;
  Slot Slots[RingSlots];
};

namespace {

using Shared = FileWriterProcess::Shared;
constexpr uint32_t kRingAt = (sizeof(Shared) + 4095u) & ~4095u;

// The bytes of a slot lie inside the ring (the writer checks what it is given).
bool SlotInRing(const Slot& s) {
  const uint32_t size = FileWriterProcess::RingBytes;
  return s.PathAt <= size && s.PathBytes <= size - s.PathAt && s.DataAt <= size && s.DataBytes <= size - s.DataAt;
}

bool WriteSlot(const Slot& s, const uint8_t* ring) {
  if (!SlotInRing(s)) return false;
  return WriteHostFile(std::string(reinterpret_cast<const char*>(ring + s.PathAt), s.PathBytes), ring + s.DataAt,
                       s.DataBytes);
}

LONG WINAPI EndQuietly(EXCEPTION_POINTERS*) {
  // The owner writes what is left; no crash dialog for a helper nobody sees.
  ExitProcess(3);
  return EXCEPTION_EXECUTE_HANDLER;
}

int RunWriter(const std::wstring& name, DWORD ownerId) {
  HANDLE owner = OpenProcess(SYNCHRONIZE, FALSE, ownerId);
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, (name + L"-ring").c_str());
  HANDLE work = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (name + L"-work").c_str());
  HANDLE wake = OpenEventW(EVENT_MODIFY_STATE, FALSE, (name + L"-wake").c_str());
  void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
  if (!owner || !view || !work || !wake) return 2;
  Shared* s = static_cast<Shared*>(view);
  const uint8_t* ring = static_cast<uint8_t*>(view) + kRingAt;
  s->Started.store(1);
  if (s->OwnerSleeps.exchange(0)) SetEvent(wake);  // an owner waiting for the writer to come up
  for (;;) {
    uint32_t done = s->Completed.load();
    if (done != s->Published.load()) {
      Slot& slot = s->Slots[done % FileWriterProcess::RingSlots];
      slot.Result = WriteSlot(slot, ring) ? 1 : 0;
      s->Completed.store(done + 1);
      if (s->OwnerSleeps.load() && static_cast<int32_t>(done + 1 - s->WantCompleted.load()) >= 0 &&
          s->OwnerSleeps.exchange(0))
        SetEvent(wake);
      continue;
    }
    if (s->Quit.load()) break;
    s->WriterSleeps.store(1);
    if (s->Published.load() != done || s->Quit.load()) {
      s->WriterSleeps.store(0);
      continue;
    }
    HANDLE waits[2] = {work, owner};
    DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    s->WriterSleeps.store(0);
    if (r != WAIT_OBJECT_0) break;  // the owner has gone
  }
  return 0;
}

}  // namespace

bool RunIfFileWriterProcess() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return false;
  bool asked = argc == 4 && std::wcscmp(argv[1], kSwitch) == 0;
  std::wstring name = asked ? argv[2] : L"";
  DWORD ownerId = asked ? std::wcstoul(argv[3], nullptr, 10) : 0;
  LocalFree(argv);
  if (!asked) return false;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(EndQuietly);
  ExitProcess(RunWriter(name, ownerId));
  return true;
}

FileWriterProcess::FileWriterProcess() {
  static std::atomic<uint32_t> serial{0};
  std::wstring name = L"Local\\cl-file-writer-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                      std::to_wstring(++serial) + L"-" + std::to_wstring(GetTickCount64());
  const DWORD bytes = kRingAt + RingBytes;
  mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, bytes, (name + L"-ring").c_str());
  // A name already taken belongs to someone else: no ring then.
  if (!mapping_ || GetLastError() == ERROR_ALREADY_EXISTS) return;
  void* view = MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  work_ = CreateEventW(nullptr, FALSE, FALSE, (name + L"-work").c_str());
  bool workTaken = GetLastError() == ERROR_ALREADY_EXISTS;
  wake_ = CreateEventW(nullptr, FALSE, FALSE, (name + L"-wake").c_str());
  bool wakeTaken = GetLastError() == ERROR_ALREADY_EXISTS;
  if (!view || !work_ || !wake_ || workTaken || wakeTaken) {
    if (view) UnmapViewOfFile(view);
    return;
  }
  shared_ = new (view) Shared();
  ring_ = static_cast<uint8_t*>(view) + kRingAt;

  wchar_t self[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  if (n == 0 || n >= MAX_PATH * 4) return;
  std::wstring command = L"\"" + std::wstring(self, n) + L"\" " + kSwitch + L" " + name + L" " +
                         std::to_wstring(GetCurrentProcessId());
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_FORCEOFFFEEDBACK;  // a copy without windows: no busy cursor for it
  PROCESS_INFORMATION pi{};
  // One start at a time: under Wine, writers started from three threads at
  // once once left a copy that never came up and a CreateProcess call that
  // never returned.
  static Lock starting;
  {
    std::lock_guard<Lock> hold(starting);
    // Detached: a console program's copy opens no console of its own.
    if (!CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
      return;
  }
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  abandoned_ = false;
}

FileWriterProcess::~FileWriterProcess() {
  if (shared_) {
    while (!abandoned_ && shared_->Completed.load() != published_) Wait(published_ - taken_);
    shared_->Quit.store(1);
    if (work_) SetEvent(work_);
  }
  if (process_) {
    if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, INFINITE);
    }
    CloseHandle(process_);
  }
  if (shared_) UnmapViewOfFile(shared_);
  if (wake_) CloseHandle(wake_);
  if (work_) CloseHandle(work_);
  if (mapping_) CloseHandle(mapping_);
}

bool FileWriterProcess::Fits(const std::string& path, uint32_t length) const {
  return Usable() && path.size() < RingBytes / 2 && length <= RingBytes - AlignUp(static_cast<uint32_t>(path.size()));
}

uint8_t* FileWriterProcess::Reserve(const std::string& path, uint32_t length) {
  if (!Fits(path, length)) return nullptr;
  Collect();
  if (published_ - released_ >= RingSlots) return nullptr;
  const uint32_t bytes = AlignUp(static_cast<uint32_t>(path.size())) + length;
  uint32_t at;
  if (spans_.empty()) {
    at = 0;
  } else {
    const uint32_t tail = spans_.front().At;
    if (head_ > tail) {
      if (bytes <= RingBytes - head_) at = head_;
      else if (bytes <= tail) at = 0;
      else return nullptr;
    } else if (bytes <= tail - head_) {
      at = head_;
    } else {
      return nullptr;
    }
  }
  reserved_ = {at, bytes};
  reservedPath_ = static_cast<uint32_t>(path.size());
  reservedLength_ = length;
  std::copy(path.begin(), path.end(), ring_ + at);
  return ring_ + at + AlignUp(reservedPath_);
}

void FileWriterProcess::Publish() {
  Slot& slot = shared_->Slots[published_ % RingSlots];
  slot = {reserved_.At, reservedPath_, reserved_.At + AlignUp(reservedPath_), reservedLength_, 0};
  spans_.push_back(reserved_);
  head_ = reserved_.At + reserved_.Bytes;
  const uint32_t index = published_++;
  if (abandoned_) {
    WriteHere(index);
    return;
  }
  shared_->Published.store(published_);
  if (shared_->WriterSleeps.exchange(0)) SetEvent(work_);
}

void FileWriterProcess::WriteHere(uint32_t index) {
  Slot& slot = shared_->Slots[index % RingSlots];
  slot.Result = WriteSlot(slot, ring_) ? 1 : 0;
  shared_->Completed.store(index + 1);
}

void FileWriterProcess::Collect() {
  const uint32_t done = shared_->Completed.load();
  for (; released_ != done; ++released_) {
    results_.push_back(shared_->Slots[released_ % RingSlots].Result != 0);
    spans_.pop_front();
  }
}

void FileWriterProcess::TakeResults(std::vector<bool>& out) {
  if (!shared_) return;
  Collect();
  out.insert(out.end(), results_.begin(), results_.end());
  taken_ += static_cast<uint32_t>(results_.size());
  results_.clear();
}

void FileWriterProcess::Wait(uint32_t count) {
  if (!shared_ || abandoned_) return;
  Collect();
  const uint32_t want = released_ + std::min(count, published_ - released_);
  shared_->WantCompleted.store(want);
  SleepUntil(shared_->Completed, want);
}

bool FileWriterProcess::WriterUp() const { return shared_ && !abandoned_ && shared_->Started.load(); }

void FileWriterProcess::WaitUntilUp() {
  while (shared_ && !abandoned_ && !shared_->Started.load()) {
    shared_->WantCompleted.store(shared_->Completed.load());
    SleepUntil(shared_->Started, 1);
  }
}

void FileWriterProcess::SleepUntil(const std::atomic<uint32_t>& counter, uint32_t value) {
  // The writer reads OwnerSleeps after it moves a counter, so one of the
  // two sides sees the other's change.
  shared_->OwnerSleeps.store(1);
  if (static_cast<int32_t>(counter.load() - value) >= 0) {
    shared_->OwnerSleeps.store(0);
    return;
  }
  HANDLE waits[2] = {wake_, process_};
  DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  shared_->OwnerSleeps.store(0);
  if (r != WAIT_OBJECT_0) Abandon();
}

void FileWriterProcess::Wake() {
  if (wake_) SetEvent(wake_);
}

void FileWriterProcess::Abandon() {
  if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, INFINITE);
  }
  abandoned_ = true;
  // A file the writer was making when it went is made again from the start.
  for (uint32_t i = shared_->Completed.load(); i != published_; ++i) WriteHere(i);
}

}  // namespace cl
