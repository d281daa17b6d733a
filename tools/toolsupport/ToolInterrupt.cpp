#include "ToolInterrupt.h"

#include "zyrFileUse.h"
#include "zyrInterrupt.h"

#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

const char *theTool = nullptr;
const char *const *theWork = nullptr;

void requestAbandon(int signal) { zyrInterrupt_request(signal); }

void put(const char *text) {
  if (text != nullptr && write(STDERR_FILENO, text, strlen(text)) < 0) {
  }
}

// Only calls that are safe in a signal handler.
void endAtOnce(int signal) {
  put(theTool);
  put(": interrupted (");
  put(zyrInterrupt_signalName(signal));
  put("): ");
  const char *work = theWork != nullptr ? *theWork : nullptr;
  put(work != nullptr ? work : "its work");
  put(" was abandoned\n");
  _exit(128 + signal);
}

void install(void (*handler)(int), int flags) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

} // namespace

void ToolInterrupt_catch() {
  // The handler stays for one signal of its kind; the next one has its default effect.
  install(requestAbandon, SA_RESETHAND);
}

void ToolInterrupt_catchAndEnd(const char *tool, const char *const *work) {
  theTool = tool;
  theWork = work;
  install(endAtOnce, 0);
}

std::string ToolInterrupt_describe(const char *tool, const std::string &what) {
  return std::string(tool) + ": interrupted (" + zyrInterrupt_signalName(zyrInterrupt_signal()) + "): " + what;
}

int ToolInterrupt_end(FILE *stream, const char *tool, const char *what, ...) {
  va_list arguments;
  va_start(arguments, what);
  char *text = nullptr;
  if (vasprintf(&text, what, arguments) < 0)
    text = nullptr;
  va_end(arguments);
  std::fprintf(stream, "%s\n", ToolInterrupt_describe(tool, text != nullptr ? text : "").c_str());
  std::fflush(stream);
  free(text);
  return 128 + zyrInterrupt_signal();
}

void ToolInterrupt_removeWritten(const char *name, const struct stat &written) {
  zyrDirectoryGuard guard(name);
  struct stat named;
  if (lstat(name, &named) != 0 || !zyrFileUse_isSame(named, written))
    return;
  unlink(name);
  unlink((std::string(name) + ".lck").c_str());
}
