// How long-running engine work (scan, tree build, listing, search, integrity,
// extraction) tells the form where it is, lets it process pending messages
// and asks whether the user wants it stopped. The engine never sees a widget.
#pragma once

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

}  // namespace vant
