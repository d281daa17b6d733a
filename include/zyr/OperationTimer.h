#ifndef QIV_OPERATION_TIMER_H
#define QIV_OPERATION_TIMER_H
// qiv::OperationTimer: measures one long operation by its lifetime. Construct it with a label at
// the start of the operation; when it is destroyed (the operation returns or throws) the label
// and the elapsed wall-clock seconds go to the process-wide reporter, if the host installed one.
// Without a reporter a timer only measures. Timers nest freely: each reports its own interval.
#include "zyrExport.h"
#include <chrono>
#include <functional>
#include <string>

namespace qiv {

class ZYR_EXPORT OperationTimer {
public:
  using Reporter = std::function<void(const std::string &label, double seconds)>;

  explicit OperationTimer(const std::string &label);
  // Reports; an exception of the reporter is swallowed, since this runs while unwinding.
  ~OperationTimer();

  const std::string &label() const { return m_label; }
  // Seconds since construction, from a monotonic clock.
  double elapsed() const;

  // Installs the reporter (an empty one removes it) and returns the one it replaces.
  static Reporter setReporter(Reporter reporter);

  OperationTimer(const OperationTimer &) = delete;
  OperationTimer &operator=(const OperationTimer &) = delete;

private:
  std::string m_label;
  std::chrono::steady_clock::time_point m_start;
};

} // namespace qiv

#endif
