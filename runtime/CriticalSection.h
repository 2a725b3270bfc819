// Process-wide locks. Re-entrant, because a lock holder may call back into
// code that takes the same lock on the same thread.
#pragma once

#include <mutex>

class TCriticalSection {
 public:
  void Enter() { m_mutex.lock(); }
  void Leave() { m_mutex.unlock(); }
  bool TryEnter() { return m_mutex.try_lock(); }
  // For std::lock_guard / std::unique_lock.
  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnter(); }

 private:
  std::recursive_mutex m_mutex;
};

// Holds a critical section for the scope.
class TCriticalSectionGuard {
 public:
  explicit TCriticalSectionGuard(TCriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
  ~TCriticalSectionGuard() { m_cs.Leave(); }
  TCriticalSectionGuard(const TCriticalSectionGuard&) = delete;
  TCriticalSectionGuard& operator=(const TCriticalSectionGuard&) = delete;

 private:
  TCriticalSection& m_cs;
};
