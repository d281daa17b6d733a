#ifndef QIV_ERROR_PROGRESS_REPORTER_H
#define QIV_ERROR_PROGRESS_REPORTER_H
// qiv::ErrorProgressReporter: the process-wide channel through which the library hands the host
// messages that do not stop an operation (warnings of a successful call). The host installs a
// handler that receives each message as it is reported; without one the reporter keeps the
// messages, oldest first, until the host takes them, holding at most backlogLimit of them (the
// oldest are dropped first and counted). Like the rest of the library it is used from one thread
// at a time.
#include "zyrExport.h"
#include "ErrorMsg.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

namespace qiv {

class ZYR_EXPORT ErrorProgressReporter {
public:
  using Handler = std::function<void(const ErrorMsg &)>;
  static constexpr size_t backlogLimit = 1024;

  // Created on first use, never destroyed.
  static ErrorProgressReporter &instance();

  // Passes the message to the handler, or keeps it when none is installed. An exception thrown
  // by the handler reaches the caller.
  void reportError(const ErrorMsg &message);

  // Installs a handler (an empty one removes it) and returns the one it replaces. Messages kept
  // so far stay kept.
  Handler setHandler(Handler handler);
  // The kept messages in the order reported; the backlog is empty afterwards.
  std::vector<ErrorMsg> takeReports();
  size_t pendingCount() const { return m_backlog.size(); }
  // Messages dropped from a full backlog since the last takeReports.
  size_t droppedCount() const { return m_dropped; }

  ErrorProgressReporter(const ErrorProgressReporter &) = delete;
  ErrorProgressReporter &operator=(const ErrorProgressReporter &) = delete;

private:
  ErrorProgressReporter() = default;
  ~ErrorProgressReporter() = default;

  Handler m_handler;
  std::deque<ErrorMsg> m_backlog;
  size_t m_dropped = 0;
};

} // namespace qiv

#endif
