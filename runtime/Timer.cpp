// The timer registry pumped by the message loop.
#include "runtime/Timer.h"

#include <algorithm>
#include <vector>

namespace {

// Live timers in creation order. Single-threaded like the message loop
// that pumps it.
std::vector<TTimer*>& Registry() {
  static std::vector<TTimer*> timers;
  return timers;
}

}  // namespace

TTimer::TTimer() : m_due(Clock::now() + std::chrono::milliseconds(m_interval)) {
  Registry().push_back(this);
}

TTimer::~TTimer() {
  auto& r = Registry();
  r.erase(std::remove(r.begin(), r.end(), this), r.end());
}

void TTimer::SetInterval(uint32_t ms) {
  m_interval = ms;
  Restart();
}

void TTimer::SetEnabled(bool enabled) {
  m_enabled = enabled;
  if (enabled) Restart();
}

void TTimer::Restart() { m_due = Clock::now() + std::chrono::milliseconds(m_interval); }

void SetTimeoutTimer(std::unique_ptr<TTimer>& timer, uint32_t ms, bool enabled,
                     const std::function<void()>& onTimer) {
  if (ms == 0) {
    timer.reset();
    return;
  }
  if (!timer) {
    timer = std::make_unique<TTimer>();
    timer->OnTimer = [onTimer](TTimer*) { onTimer(); };
  }
  timer->SetInterval(ms);
  timer->SetEnabled(enabled);
}

int ProcessTimers(TTimer::Clock::time_point now) {
  // Callbacks may add or destroy timers: work on a snapshot and check that
  // each timer still exists before touching it.
  std::vector<TTimer*> snapshot = Registry();
  int fired = 0;
  for (TTimer* t : snapshot) {
    auto& r = Registry();
    if (std::find(r.begin(), r.end(), t) == r.end()) continue;
    if (!t->m_enabled || t->m_interval == 0 || now < t->m_due) continue;
    t->m_due = now + std::chrono::milliseconds(t->m_interval);
    ++fired;
    // Call a copy: the handler may destroy the timer and with it OnTimer.
    if (TTimer::TNotifyEvent handler = t->OnTimer) handler(t);
  }
  return fired;
}

int ProcessTimers() { return ProcessTimers(TTimer::Clock::now()); }

int64_t MillisecondsToNextTimer() {
  auto now = TTimer::Clock::now();
  int64_t best = -1;
  for (TTimer* t : Registry()) {
    if (!t->Enabled() || t->Interval() == 0) continue;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t->DueTime() - now).count();
    if (left < 0) left = 0;
    if (best < 0 || left < best) best = left;
  }
  return best;
}
