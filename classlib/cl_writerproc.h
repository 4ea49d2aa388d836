// A copy of this program that writes host files handed to it, so that many
// small files can be made by several processes side by side. Under Wine a
// process makes its files one after another whatever its thread count: the
// handle of each new file passes one process-wide lock at its first use and
// at its close. Separate processes do not share that lock.
//
// The files travel through a ring of shared memory (path and bytes, in the
// order handed over); each side wakes the other through an event only when
// that one waits. Every file handed over is written: by the writer, or by
// the owner itself once the writer has gone (ended, killed, never started).
#pragma once
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace cl {

// Called first by every program that starts writers: when this process was
// started as one, it runs the writer to its end and returns true (the
// program then ends); false otherwise.
bool RunIfFileWriterProcess();

class FileWriterProcess {
public:
  // Room for the paths and bytes of the files in flight.
  static constexpr uint32_t RingBytes = 16u << 20;
  // Most files in flight at once.
  static constexpr uint32_t RingSlots = 1024;

  // Makes the ring and starts the writer. Without a ring (Usable() false)
  // nothing can be handed over; without a writer the files handed over are
  // written at Publish.
  FileWriterProcess();
  // Waits until every file handed over is written, asks the writer to end
  // and waits for it.
  ~FileWriterProcess();
  FileWriterProcess(const FileWriterProcess&) = delete;
  FileWriterProcess& operator=(const FileWriterProcess&) = delete;

  bool Usable() const { return shared_ != nullptr; }
  // True once the writer has started and until it has gone. Files can be
  // handed over before (the writer takes them when it is up), but a writer
  // takes about as long to come up as a few hundred small files take to write.
  bool WriterUp() const;
  // Waits until the writer is up or has gone.
  void WaitUntilUp();
  // Whether a file of length bytes at path can ever be handed over.
  bool Fits(const std::string& path, uint32_t length) const;
  // The place for the bytes of a file of length bytes at path; nullptr while
  // the ring has no room for it (Wait, then ask again).
  uint8_t* Reserve(const std::string& path, uint32_t length);
  // Hands over the file of the last Reserve, its bytes filled in.
  void Publish();
  // Appends to out whether each file written since the last call was
  // written, in the order the files were handed over.
  void TakeResults(std::vector<bool>& out);
  // Files handed over whose results TakeResults has not given yet.
  uint32_t InFlight() const { return published_ - taken_; }
  // Waits until count more files (at most those not yet written) are
  // written than when it was called, or Wake is called, or the writer has
  // gone (its files are then written here before Wait returns).
  void Wait(uint32_t count);
  // Ends a Wait of another thread (or the next one, when none waits).
  void Wake();
  // The writer's process (null when it could not be started).
  HANDLE Process() const { return process_; }

  struct Shared;

private:
  void Abandon();
  void WriteHere(uint32_t index);
  // Frees the ring space of the files written and keeps their results.
  void Collect();
  // Sleeps until counter reaches value (the writer then sets the wake
  // event), Wake is called, or the writer has gone.
  void SleepUntil(const std::atomic<uint32_t>& counter, uint32_t value);

  Shared* shared_ = nullptr;
  uint8_t* ring_ = nullptr;
  HANDLE mapping_ = nullptr, work_ = nullptr, wake_ = nullptr, process_ = nullptr;
  bool abandoned_ = true;
  uint32_t published_ = 0, taken_ = 0, released_ = 0;
  // Ring space of the files in flight, oldest first.
  struct Span {
    uint32_t At, Bytes;
  };
  std::deque<Span> spans_;
  std::vector<bool> results_;  // of files written, not yet taken
  uint32_t head_ = 0;  // where the next file's path goes
  Span reserved_{};
  uint32_t reservedPath_ = 0, reservedLength_ = 0;
};

}  // namespace cl
