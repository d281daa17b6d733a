// The progress reporter: a handler of the host's, or a bounded backlog until the host asks.
#include "ErrorProgressReporter.h"

#include <utility>

namespace qiv {

ErrorProgressReporter &ErrorProgressReporter::instance() {
  // Deliberately leaked: messages may be reported from exit callbacks after static destruction.
  static ErrorProgressReporter *reporter = new ErrorProgressReporter();
  return *reporter;
}

void ErrorProgressReporter::reportError(const ErrorMsg &message) {
  if (m_handler) {
    // A copy, so that a handler may replace itself while it runs.
    Handler handler = m_handler;
    handler(message);
    return;
  }
  if (m_backlog.size() >= backlogLimit) {
    m_backlog.pop_front();
    ++m_dropped;
  }
  m_backlog.push_back(message);
}

ErrorProgressReporter::Handler ErrorProgressReporter::setHandler(Handler handler) {
  std::swap(m_handler, handler);
  return handler;
}

std::vector<ErrorMsg> ErrorProgressReporter::takeReports() {
  std::vector<ErrorMsg> reports(m_backlog.begin(), m_backlog.end());
  m_backlog.clear();
  m_dropped = 0;
  return reports;
}

} // namespace qiv
