// How long-running engine work (scan, tree build, listing, search, integrity,
// extraction) tells the form where it is, lets it process pending messages
// and asks whether the user wants it stopped. The engine never sees a widget.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

namespace vant {

class WorkObserver {
 public:
  virtual ~WorkObserver() = default;
  virtual void SetProgressMax(std::int64_t /*max*/) {}
  virtual void SetProgress(std::int64_t /*position*/) {}
  virtual void StepProgress(std::int64_t by) { (void)by; }
  // Processes the pending window messages (user actions may run inside).
  virtual void Pump() {}
  virtual bool CancelRequested() const { return false; }
  // A failure the user must hear about, with the system's text.
  virtual void ReportError(std::string_view /*text*/) {}
};

// When long work should process messages: after `interval` of work (15 ms
// unless told) counted from the end of the last processing, so slow message
// handling (painting) cannot crowd the work out; and at least every
// `maxSteps` steps so a coarse clock cannot starve the user. The clock is
// read only every `clockStride` steps: reading it per record would cost more
// than decoding some records.
class PumpBudget {
 public:
  explicit PumpBudget(std::uint32_t clockStride = 64, std::uint32_t maxSteps = 16384,
                      std::chrono::microseconds interval = std::chrono::milliseconds(15))
      : stride_(clockStride), maxSteps_(maxSteps), interval_(interval) {}
  bool Due() {
    if (pumped_) {
      // The step after a processing of messages: the work starts again now.
      pumped_ = false;
      last_ = Clock::now();
    }
    ++steps_;
    if (steps_ % stride_ != 0) return false;
    if (Clock::now() - last_ < interval_ && steps_ < maxSteps_) return false;
    steps_ = 0;
    pumped_ = true;
    return true;
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::uint32_t stride_, maxSteps_;
  std::chrono::microseconds interval_;
  std::uint32_t steps_ = 0;
  bool pumped_ = false;
  Clock::time_point last_ = Clock::now();
};

}  // namespace vant
