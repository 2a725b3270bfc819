// Message-loop timers. The program runs on one thread, so a timer never
// fires on its own: whoever runs the loop (the window layer, or a test)
// calls ProcessTimers(), which runs the callbacks of every enabled timer
// whose interval has elapsed.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class TTimer {
 public:
  using TNotifyEvent = std::function<void(TTimer* Sender)>;
  using Clock = std::chrono::steady_clock;

  TTimer();
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  // Milliseconds; 0 keeps the timer from firing.
  uint32_t Interval() const noexcept { return m_interval; }
  // Setting the interval restarts the countdown.
  void SetInterval(uint32_t ms);
  bool Enabled() const noexcept { return m_enabled; }
  // Enabling (also re-enabling) starts the countdown from now.
  void SetEnabled(bool enabled);
  // Starts the countdown again from now (for "activity seen").
  void Restart();
  // When the timer fires next if enabled.
  Clock::time_point DueTime() const noexcept { return m_due; }

  TNotifyEvent OnTimer;

 private:
  friend int ProcessTimers(TTimer::Clock::time_point now);
  uint32_t m_interval = 1000;
  bool m_enabled = true;
  Clock::time_point m_due;
};

// The timer of a timeout property that exists only while the timeout is
// non-zero: 0 destroys it; another value creates it when needed (calling
// `onTimer`), sets the interval and enables it as `enabled` says.
void SetTimeoutTimer(std::unique_ptr<TTimer>& timer, uint32_t ms, bool enabled,
                     const std::function<void()>& onTimer);

// Fires every due timer once (in creation order) and returns how many fired.
// A callback may create, disable or destroy timers, itself included.
int ProcessTimers();
int ProcessTimers(TTimer::Clock::time_point now);
// Milliseconds until the next enabled timer is due (0 when one is due now),
// or -1 when none is enabled: lets a message loop sleep until then.
int64_t MillisecondsToNextTimer();
