// Runs a reset when the scope ends, on every path out of it: busy and
// loading flags, control words, values that a step sets for its duration.
#pragma once

#include <utility>

template <class F>
class TScopeGuard {
 public:
  explicit TScopeGuard(F onExit) : m_onExit(std::move(onExit)) {}
  ~TScopeGuard() {
    if (m_active) m_onExit();
  }
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;

  // The reset is not wanted after all (the step succeeded and keeps its state).
  void Dismiss() noexcept { m_active = false; }

 private:
  F m_onExit;
  bool m_active = true;
};

// Sets `flag` to `value` for the scope and restores its previous value.
template <class T>
[[nodiscard]] auto ScopedValue(T& flag, T value) {
  T previous = std::exchange(flag, std::move(value));
  return TScopeGuard([&flag, previous = std::move(previous)]() mutable { flag = std::move(previous); });
}
