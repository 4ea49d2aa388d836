// A lock and a condition variable for threads that hand work to each other
// many times a second. The C++ library's mutex waits on a kernel event, and
// under Wine every such wait and wake is a round trip to the wineserver,
// which all threads of all programs share; the slim reader/writer lock and
// its condition variable wait on an address, which Wine serves in user space.
// Both work with std::lock_guard and std::unique_lock.
#pragma once
#include <windows.h>

#include <mutex>

namespace cl {

class Lock {
public:
  Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void lock() { AcquireSRWLockExclusive(&lock_); }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
  friend class Condition;
  SRWLOCK lock_ = SRWLOCK_INIT;
};

class Condition {
public:
  Condition() = default;
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;
  // Waits, with hold's lock released meanwhile, until ready() is true.
  template <class Ready>
  void wait(std::unique_lock<Lock>& hold, Ready ready) {
    while (!ready()) SleepConditionVariableSRW(&condition_, &hold.mutex()->lock_, INFINITE, 0);
  }
  void notify_one() { WakeConditionVariable(&condition_); }
  void notify_all() { WakeAllConditionVariable(&condition_); }

private:
  CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

}  // namespace cl
