// Operation timers and the reporter that receives their intervals.
#include "OperationTimer.h"

#include <utility>

namespace qiv {

namespace {

OperationTimer::Reporter &reporter() {
  static OperationTimer::Reporter *current = new OperationTimer::Reporter();
  return *current;
}

} // namespace

OperationTimer::OperationTimer(const std::string &label)
    : m_label(label), m_start(std::chrono::steady_clock::now()) {}

OperationTimer::~OperationTimer() {
  Reporter report = reporter();
  if (!report)
    return;
  try {
    report(m_label, elapsed());
  } catch (...) {
    // A destructor must not throw, least of all while an exception of the operation passes.
  }
}

double OperationTimer::elapsed() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

OperationTimer::Reporter OperationTimer::setReporter(Reporter next) {
  std::swap(reporter(), next);
  return next;
}

} // namespace qiv
