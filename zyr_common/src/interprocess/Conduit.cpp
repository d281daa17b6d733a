#include "Conduit.h"

#include "ConduitWire.h"
#include "Pipe.h"
#include "ProcessStartup.h"
#include "Socket.h"
#include "zyrAssert.h"
#include "zyrCString.h"
#include "zyrError.h"
#include "zyrLeftovers.h"
#include "zyrMemory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

int32_t g_waitLimit = 30000;
std::clock_t g_lastClock = -1;

const char *const kDomains[] = {"unix", "inet"};
const char *const kTypes[] = {"stream", "datagram"};
const char *const kModes[] = {"server", "client", "peer"};
// Where a conduit socket without a host is bound and connected: parent and child share the
// machine, so nothing is offered to other hosts.
const char kLoopback[] = "127.0.0.1";

// Uniform in [low, high] from a generator of our own (the host's rand sequence stays untouched).
int32_t generateRandomInteger(int32_t low, int32_t high) {
  zyrAssert(high > low);
  static std::mt19937 generator(static_cast<std::mt19937::result_type>(
      std::random_device{}() ^ static_cast<unsigned>(getpid()) ^
      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())));
  return std::uniform_int_distribution<int32_t>(low, high)(generator);
}

int domainOf(const Conduit *conduit) { return conduit->m_socketDomain == ConduitInet ? AF_INET : AF_UNIX; }
int typeOf(const Conduit *conduit) { return conduit->m_socketType == ConduitDatagram ? SOCK_DGRAM : SOCK_STREAM; }

// The host or path a socket of this conduit binds to or connects to.
const char *addressOf(const Conduit *conduit) {
  if (conduit->m_socketDomain == ConduitUnix || conduit->m_socketName != nullptr)
    return conduit->m_socketName;
  return kLoopback;
}

// The unix path a child peer binds (the parent's path is the parent's own).
std::string childPeerPath(const Conduit *conduit) {
  return std::string(conduit->m_socketName ? conduit->m_socketName : "") + ".peer";
}

Conduit *newRecord() {
  Conduit *conduit = zyrMemory_allocateZeroedArray<Conduit>(1, __func__);
  conduit->m_fd_read = conduit->m_fd_write = -1;
  return conduit;
}

// ------------------------------------------------------------------ description

std::vector<std::string> tokenize(const char *description) {
  std::vector<std::string> tokens;
  std::string current;
  for (const char *p = description; *p != '\0'; ++p) {
    char c = *p;
    if (c == ':' || c == ',' || c == '=' || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!current.empty())
        tokens.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty())
    tokens.push_back(current);
  return tokens;
}

// Digits only, within int32 range.
bool parseNumber(const std::string &text, int32_t *value) {
  if (text.empty() || text.size() > 10)
    return false;
  int64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    number = number * 10 + (c - '0');
  }
  if (number > INT32_MAX)
    return false;
  *value = static_cast<int32_t>(number);
  return true;
}

// "%d.%d", ".%d" or "%d.".
bool parsePipeNumbers(const std::string &token, int32_t *read, int32_t *write) {
  size_t dot = token.find('.');
  if (dot == std::string::npos || token.find('.', dot + 1) != std::string::npos)
    return false;
  std::string left = token.substr(0, dot), right = token.substr(dot + 1);
  if (left.empty() && right.empty())
    return false;
  if (!left.empty() && !parseNumber(left, read))
    return false;
  if (!right.empty() && !parseNumber(right, write))
    return false;
  return true;
}

// A port given as text: a number (an optional sign, digits). 0 for text that is no number.
bool parseSignedNumber(const std::string &text, int64_t *value) {
  size_t start = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (start == text.size() || text.size() - start > 12)
    return false;
  int64_t number = 0;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9')
      return false;
    number = number * 10 + (text[i] - '0');
  }
  *value = text[0] == '-' ? -number : number;
  return true;
}

// A port-file name is a bare file name in the working directory.
bool isBareName(const std::string &name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

int indexOf(const std::string &word, const char *const *words, int count) {
  for (int i = 0; i < count; ++i)
    if (word == words[i])
      return i;
  return -1;
}

bool parseSocket(Conduit *conduit, const std::vector<std::string> &tokens) {
  bool domainGiven = false;
  for (size_t i = 1; i < tokens.size(); i += 2) {
    const std::string &key = tokens[i];
    const bool known = key == "domain" || key == "path" || key == "port" || key == "host" || key == "type" ||
                       key == "mode" || key == "name";
    if (!known)
      continue;
    if (i + 1 >= tokens.size())
      return false;
    const std::string &value = tokens[i + 1];
    if (key == "domain") {
      int domain = indexOf(value, kDomains, 2);
      if (domain < 0)
        return false;
      conduit->m_socketDomain = domain;
      domainGiven = true;
    } else if (key == "type") {
      int type = indexOf(value, kTypes, 2);
      if (type < 0)
        return false;
      conduit->m_socketType = type;
    } else if (key == "mode") {
      int mode = indexOf(value, kModes, 3);
      if (mode < 0)
        return false;
      conduit->m_socketMode = mode;
    } else if (key == "name") {
      if (!isBareName(value))
        return false;
      zyrCString_reassign(&conduit->m_name, value.c_str());
    } else {
      // path, port and host belong to a domain named before them.
      if (!domainGiven)
        return false;
      if (key == "path") {
        if (conduit->m_socketDomain != ConduitUnix)
          return false;
        zyrCString_reassign(&conduit->m_socketName, value.c_str());
      } else if (key == "host") {
        if (conduit->m_socketDomain != ConduitInet)
          return false;
        zyrCString_reassign(&conduit->m_socketName, value.c_str());
      } else {
        if (conduit->m_socketDomain != ConduitInet)
          return false;
        int64_t port = 0;
        if (!parseSignedNumber(value, &port))
          return false;
        if (port < 0 || port > 65535) {
          zyrError *error = zyrError_new(ZYR_U_INVALID_PORT_NUMBER, __func__, __FILE__, __LINE__);
          zyrError_addMessage(error, "Port = %lld\n", static_cast<long long>(port));
          zyrError_publish(error);
          return false;
        }
        conduit->m_socketPort = static_cast<int32_t>(port);
      }
    }
  }
  return true;
}

bool parse(Conduit *conduit, const char *description) {
  std::vector<std::string> tokens = tokenize(description != nullptr ? description : "");
  if (!tokens.empty() && tokens[0] == "socket") {
    conduit->m_type = ConduitSocket;
    return parseSocket(conduit, tokens);
  }
  conduit->m_type = ConduitPipe;
  if (!tokens.empty() && tokens[0] == "pipe" && tokens.size() > 1)
    return parsePipeNumbers(tokens[1], &conduit->m_fd_read, &conduit->m_fd_write);
  return true;
}

void setDefaultNames(Conduit *conduit) {
  if (conduit->m_name == nullptr) {
    std::clock_t now = std::clock();
    long number;
    if (now >= 0 && now != g_lastClock)
      number = static_cast<long>(now);
    else
      number = generateRandomInteger(0, 10000);
    g_lastClock = now;
    conduit->m_name = zyrCString_build("conduit.%d.%ld", static_cast<int>(getpid()), number);
  }
  if (conduit->m_type == ConduitSocket && conduit->m_socketDomain == ConduitUnix && conduit->m_socketName == nullptr)
    conduit->m_socketName = zyrCString_build(".socket.%s", conduit->m_name);
}

// ------------------------------------------------------------------ port file

void pauseBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

// Written under a private name and linked into place: the reader never sees a partial file, and
// an existing file of that name is never replaced. The private name is held from its making to its
// removal (zyrLeftovers.h).
bool writePortFile(const char *name, int32_t port) {
  char temporary[PATH_MAX];
  int hold = -1;
  if (!zyrLeftovers_make(name, ".tmp", 0, temporary, sizeof temporary, &hold))
    return false;
  fchmod(hold, 0644);
  const int fd = fcntl(hold, F_DUPFD_CLOEXEC, 0);
  bool ok = false;
  if (fd >= 0) {
    char text[32];
    int length = std::snprintf(text, sizeof text, "port = %d\n", port);
    ok = write(fd, text, static_cast<size_t>(length)) == length;
    ok = close(fd) == 0 && ok;
    ok = ok && link(temporary, name) == 0;
  }
  unlink(temporary);
  close(hold);
  return ok;
}

bool readPortFile(const char *name, int32_t *port) {
  FILE *file = std::fopen(name, "re");
  if (file == nullptr)
    return false;
  int value = 0;
  bool ok = std::fscanf(file, "port = %d", &value) == 1 && value >= 0 && value <= 65535;
  std::fclose(file);
  if (ok)
    *port = value;
  return ok;
}

bool waitForPortFile(const char *name, int32_t *port) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_waitLimit);
  for (;;) {
    if (readPortFile(name, port))
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    pauseBriefly();
  }
}

bool recordPortFile(Conduit *conduit, int32_t port) {
  if (conduit->m_communicate)
    return true;
  if (!writePortFile(conduit->m_name, port))
    return false;
  conduit->m_communicate = 1;
  return true;
}

// 1 once a unix socket path exists (inet addresses need no such wait).
bool socketPresent(int domain, const char *address) {
  struct stat status;
  return domain != AF_UNIX || (address != nullptr && lstat(address, &status) == 0 && S_ISSOCK(status.st_mode));
}

// Connects a new socket, retrying while the other side is not listening yet.
Socket *connectWithin(int domain, int type, const char *address, int32_t port) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_waitLimit);
  for (;;) {
    if (!socketPresent(domain, address)) {
      if (std::chrono::steady_clock::now() >= deadline)
        return nullptr;
      pauseBriefly();
      continue;
    }
    Socket *socket = Socket_new(domain, type);
    if (Socket_isValid(socket) && Socket_connect(socket, address, port) == 0)
      return socket;
    int failure = errno;
    Socket_delete(socket);
    if ((failure != ENOENT && failure != ECONNREFUSED) || std::chrono::steady_clock::now() >= deadline)
      return nullptr;
    pauseBriefly();
  }
}

// Associates a datagram socket with a unix path that the other side is about to bind.
bool associateWithin(Socket *socket, const char *path) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_waitLimit);
  for (;;) {
    if (socketPresent(AF_UNIX, path) && Socket_connect(socket, path, 0) == 0)
      return true;
    int failure = socketPresent(AF_UNIX, path) ? errno : ENOENT;
    if ((failure != ENOENT && failure != ECONNREFUSED) || std::chrono::steady_clock::now() >= deadline)
      return false;
    pauseBriefly();
  }
}

// Accepts one connection within the wait limit; the listening socket is replaced by it.
bool acceptOne(Conduit *conduit) {
  if (!Socket_waitReadable(conduit->m_socket, g_waitLimit))
    return false;
  Socket *accepted = Socket_accept(conduit->m_socket);
  if (accepted == nullptr)
    return false;
  Socket_delete(conduit->m_socket);
  conduit->m_socket = accepted;
  return true;
}

// A socket bound for this conduit (the port becomes the one bound).
bool bindSocket(Conduit *conduit, int type, const char *address, int32_t port) {
  conduit->m_socket = Socket_newBound(domainOf(conduit), type, address, port);
  if (conduit->m_socket == nullptr)
    return false;
  if (conduit->m_socketDomain == ConduitUnix)
    conduit->m_ownsSocketPath = 1;
  else
    conduit->m_socketPort = Socket_getPort(conduit->m_socket, Socket_local);
  return true;
}

// A descriptor named on the command line must be an open pipe or socket: anything else (a file
// of this process, say) is not ours to write into.
bool isChannel(int32_t fd) {
  struct stat status;
  if (fstat(fd, &status) != 0)
    return false;
  return S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode);
}

// ------------------------------------------------------------------ transfer

bool isSocket(const Conduit *conduit) { return conduit->m_socket != nullptr; }

int64_t sendRaw(Conduit *conduit, const void *bytes, int64_t count) {
  if (conduit == nullptr)
    return 0;
  if (isSocket(conduit))
    return Socket_sendAll(conduit->m_socket, bytes, count, 0);
  if (conduit->m_writePipe == nullptr)
    return 0;
  return Pipe_write(conduit->m_writePipe, bytes, count);
}

// Bytes read ahead first, then the transport until count bytes arrived or the other side closed:
// the number received, or -1 on an error before anything arrived.
int64_t receiveExactly(Conduit *conduit, void *buffer, int64_t count) {
  char *at = static_cast<char *>(buffer);
  int64_t done = std::min<int64_t>(count, conduit->m_aheadFill - conduit->m_aheadPosition);
  if (done > 0) {
    std::memcpy(at, conduit->m_ahead + conduit->m_aheadPosition, static_cast<size_t>(done));
    conduit->m_aheadPosition += static_cast<int32_t>(done);
  }
  if (done == count)
    return done;
  int64_t got;
  if (isSocket(conduit))
    got = Socket_recvAll(conduit->m_socket, at + done, count - done, 0);
  else if (conduit->m_readPipe != nullptr)
    got = Pipe_readFully(conduit->m_readPipe, at + done, count - done);
  else
    got = -1;
  if (got < 0)
    return done > 0 ? done : -1;
  return done + got;
}

int64_t receiveConduit(void *conduit, char *buffer, int64_t count) {
  return receiveExactly(static_cast<Conduit *>(conduit), buffer, count);
}

// Success of a fixed-size pipe receive, as the pipe layer answers it.
int64_t pipeResult(int64_t got, int64_t wanted) { return got == wanted ? 1 : 0; }

int64_t putInt(Conduit *conduit, int32_t value) {
  if (isSocket(conduit)) {
    char field[ConduitWire_fieldSize];
    ConduitWire_formatInt(field, value);
    return sendRaw(conduit, field, ConduitWire_fieldSize);
  }
  return sendRaw(conduit, &value, sizeof value);
}

template <class T>
int64_t getField(Conduit *conduit, T *value, int (*parse)(const char *, T *)) {
  char field[ConduitWire_fieldSize];
  std::memset(field, 0, sizeof field);
  int64_t got = receiveExactly(conduit, field, ConduitWire_fieldSize);
  if (got < 0)
    return -1;
  if (got != ConduitWire_fieldSize || !parse(field, value))
    return 0;
  return got;
}

template <class T>
int64_t getValue(Conduit *conduit, T *value, int (*parse)(const char *, T *)) {
  if (conduit == nullptr || value == nullptr)
    return 0;
  if (isSocket(conduit))
    return getField(conduit, value, parse);
  return pipeResult(receiveExactly(conduit, value, sizeof *value), sizeof *value);
}

int64_t getCount(Conduit *conduit, int32_t *count) { return getValue<int32_t>(conduit, count, ConduitWire_parseInt); }

// The count, then count elements of the given size (pipes) or bytes (sockets).
int64_t putCounted(Conduit *conduit, const void *elements, int32_t count, int64_t size) {
  if (conduit == nullptr || count < 0 || (count > 0 && elements == nullptr))
    return 0;
  int64_t sent = putInt(conduit, count);
  if (sent <= 0)
    return sent;
  if (count == 0)
    return sent;
  int64_t rest = sendRaw(conduit, elements, count * size);
  if (rest <= 0)
    return rest;
  return isSocket(conduit) ? sent + rest : 1;
}

int64_t getCounted(Conduit *conduit, void *elements, int32_t capacity, int32_t *count, int64_t size) {
  if (count != nullptr)
    *count = 0;
  int32_t n = 0;
  int64_t got = getCount(conduit, &n);
  if (got <= 0)
    return got;
  if (count != nullptr)
    *count = n;
  if (n < 0 || n > capacity || (n > 0 && elements == nullptr))
    return 0;
  if (n == 0)
    return got;
  int64_t wanted = n * size;
  int64_t received = receiveExactly(conduit, elements, wanted);
  if (received < 0)
    return isSocket(conduit) ? -1 : 0;
  if (received != wanted)
    return 0;
  return isSocket(conduit) ? got + received : 1;
}

} // namespace

// ------------------------------------------------------------------ creation

int32_t Conduit_setWaitLimit(int32_t milliseconds) {
  int32_t previous = g_waitLimit;
  g_waitLimit = milliseconds;
  return previous;
}

Conduit *Conduit_newFromDescription(const char *description) {
  Conduit *conduit = newRecord();
  if (parse(conduit, description)) {
    setDefaultNames(conduit);
    conduit->m_isGood = 1;
  } else {
    zyrError *error = zyrError_new(ZYR_U_INVALID_INPUT, __func__, __FILE__, __LINE__);
    zyrError_addMessage(error, "Invalid conduit type \"%s\".\n", description != nullptr ? description : "");
    zyrError_publish(error);
  }
  return conduit;
}

Conduit *Conduit_newBeforeSpawn(const char *description) {
  Conduit *conduit = Conduit_newFromDescription(description);
  if (!conduit->m_isGood)
    return conduit;
  if (conduit->m_type == ConduitSocket) {
    bool ok = true;
    if (conduit->m_socketMode == ConduitServer) {
      conduit->m_socket = Socket_newServer(domainOf(conduit), addressOf(conduit), conduit->m_socketPort, 5);
      ok = conduit->m_socket != nullptr;
      if (ok && conduit->m_socketDomain == ConduitUnix)
        conduit->m_ownsSocketPath = 1;
      else if (ok)
        conduit->m_socketPort = Socket_getPort(conduit->m_socket, Socket_local);
    } else if (conduit->m_socketMode == ConduitPeer) {
      ok = bindSocket(conduit, typeOf(conduit), addressOf(conduit), conduit->m_socketPort);
    }
    conduit->m_isGood = ok ? 1 : 0;
    return conduit;
  }
  // The parent's numbers can only join the child's standard streams.
  if ((conduit->m_fd_read != -1 && conduit->m_fd_read != 1) || (conduit->m_fd_write != -1 && conduit->m_fd_write != 0)) {
    conduit->m_isGood = 0;
    return conduit;
  }
  conduit->m_readPipe = Pipe_new();
  conduit->m_writePipe = Pipe_new();
  if (conduit->m_readPipe == nullptr || conduit->m_writePipe == nullptr)
    conduit->m_isGood = 0;
  return conduit;
}

int Conduit_setChildHandles(Conduit *conduit, ProcessStartup *startup) {
  if (conduit == nullptr || !conduit->m_isGood || startup == nullptr)
    return 0;
  if (conduit->m_type != ConduitPipe)
    return 1;
  int32_t childWrite = Pipe_getWriteFd(conduit->m_readPipe);
  int32_t childRead = Pipe_getReadFd(conduit->m_writePipe);
  int ok = 1;
  if (conduit->m_fd_read == 1) {
    ok &= ProcessStartup_setStandardStream(startup, 1, childWrite);
    ok &= ProcessStartup_setStandardStream(startup, 2, childWrite);
  } else {
    ok &= ProcessStartup_inherit(startup, childWrite);
  }
  if (conduit->m_fd_write == 0)
    ok &= ProcessStartup_setStandardStream(startup, 0, childRead);
  else
    ok &= ProcessStartup_inherit(startup, childRead);
  return ok;
}

char *Conduit_getArgumentString(const Conduit *conduit) {
  if (conduit == nullptr || !conduit->m_isGood)
    return zyrCString_clone(" ");
  const char *domain = kDomains[conduit->m_socketDomain];
  const char *path = conduit->m_socketName != nullptr ? conduit->m_socketName : "";
  if (conduit->m_type == ConduitPipe) {
    if (conduit->m_fd_read == 1 && conduit->m_fd_write == 0)
      return nullptr;
    int32_t childRead = conduit->m_fd_write == 0 ? 0 : Pipe_getReadFd(conduit->m_writePipe);
    int32_t childWrite = conduit->m_fd_read == 1 ? 1 : Pipe_getWriteFd(conduit->m_readPipe);
    return zyrCString_build("-conduit pipe %d.%d", childRead, childWrite);
  }
  switch (conduit->m_socketMode) {
  case ConduitServer:
    if (conduit->m_socketDomain == ConduitUnix)
      return zyrCString_build("-conduit socket mode=client domain=%s path=%s", domain, path);
    return zyrCString_build("-conduit socket mode=client domain=%s port=%d", domain, conduit->m_socketPort);
  case ConduitClient:
    if (conduit->m_socketDomain == ConduitUnix)
      return zyrCString_build("-conduit socket mode=server domain=%s path=%s name=%s", domain, path, conduit->m_name);
    return zyrCString_build("-conduit socket mode=server domain=%s port=%d name=%s", domain, conduit->m_socketPort,
                            conduit->m_name);
  default: {
    // The child must know a datagram peer's type (stream is its default), and an inet peer the
    // port file through which it tells its own port.
    const char *type = conduit->m_socketType == ConduitDatagram ? " type=datagram" : "";
    if (conduit->m_socketDomain == ConduitUnix)
      return zyrCString_build("-conduit socket mode=peer domain=%s path=%s%s", domain, path, type);
    return zyrCString_build("-conduit socket mode=peer domain=%s port=%d%s name=%s", domain, conduit->m_socketPort,
                            type, conduit->m_name);
  }
  }
}

char **Conduit_getArgumentWords(const Conduit *conduit, int32_t *count) {
  if (count != nullptr)
    *count = 0;
  if (conduit == nullptr || !conduit->m_isGood)
    return nullptr;
  char *text = Conduit_getArgumentString(conduit);
  if (text == nullptr)
    return nullptr;
  char **words = nullptr;
  uint64_t n = 0;
  zyrCStringArray_newFromPackedString(text, ' ', &words, &n);
  zyrCString_free(text);
  if (count != nullptr)
    *count = static_cast<int32_t>(n);
  return words;
}

int Conduit_afterSpawn(Conduit *conduit) {
  if (conduit == nullptr || !conduit->m_isGood)
    return 0;
  bool ok = true;
  if (conduit->m_type == ConduitPipe) {
    Pipe_closeWrite(conduit->m_readPipe);
    Pipe_closeRead(conduit->m_writePipe);
  } else if (conduit->m_socketMode == ConduitServer) {
    ok = acceptOne(conduit);
  } else if (conduit->m_socketMode == ConduitClient) {
    int32_t port = conduit->m_socketPort;
    if (conduit->m_socketDomain == ConduitInet)
      ok = waitForPortFile(conduit->m_name, &port);
    if (ok) {
      conduit->m_socketPort = port;
      conduit->m_socket = connectWithin(domainOf(conduit), SOCK_STREAM, addressOf(conduit), port);
      ok = conduit->m_socket != nullptr;
    }
  } else if (conduit->m_socketType == ConduitDatagram) {
    // Associate with the child's own socket, so that plain sends reach it.
    int32_t port = 0;
    std::string path = childPeerPath(conduit);
    if (conduit->m_socketDomain == ConduitInet)
      ok = waitForPortFile(conduit->m_name, &port) && Socket_connect(conduit->m_socket, kLoopback, port) == 0;
    else
      ok = associateWithin(conduit->m_socket, path.c_str());
  }
  if (!ok)
    conduit->m_isGood = 0;
  return ok ? 1 : 0;
}

int Conduit_redirectStandardStreams(Conduit *conduit) {
  if (conduit == nullptr || !conduit->m_isGood)
    return 0;
  if (conduit->m_type != ConduitPipe)
    return 1;
  if (conduit->m_fd_read == 1 && conduit->m_readPipe != nullptr)
    Pipe_readFromStdOut(conduit->m_readPipe);
  if (conduit->m_fd_write == 0 && conduit->m_writePipe != nullptr)
    Pipe_writeToStdIn(conduit->m_writePipe);
  return 1;
}

Conduit *Conduit_newChildEnd(const char *description) {
  Conduit *conduit = Conduit_newFromDescription(description);
  if (!conduit->m_isGood) {
    Conduit_delete(conduit);
    return nullptr;
  }
  bool ok = true;
  if (conduit->m_type == ConduitSocket) {
    const bool inet = conduit->m_socketDomain == ConduitInet;
    if (conduit->m_socketMode == ConduitServer) {
      ok = bindSocket(conduit, SOCK_STREAM, addressOf(conduit), conduit->m_socketPort) &&
           (!inet || recordPortFile(conduit, conduit->m_socketPort)) && Socket_listen(conduit->m_socket, 5) &&
           acceptOne(conduit);
    } else if (conduit->m_socketMode == ConduitPeer) {
      // Our own socket beside the parent's, associated with it for a datagram peer.
      std::string path = childPeerPath(conduit);
      const int32_t parentPort = conduit->m_socketPort;
      ok = bindSocket(conduit, typeOf(conduit), inet ? kLoopback : path.c_str(), 0);
      if (ok && inet)
        ok = recordPortFile(conduit, conduit->m_socketPort);
      if (ok && conduit->m_socketType == ConduitDatagram)
        ok = Socket_connect(conduit->m_socket, inet ? kLoopback : conduit->m_socketName, parentPort) == 0;
    } else {
      conduit->m_socket = Socket_newClient(domainOf(conduit), addressOf(conduit), conduit->m_socketPort);
      ok = conduit->m_socket != nullptr;
      if (ok && inet)
        recordPortFile(conduit, conduit->m_socketPort); // only informative for a client
    }
  } else {
    if (conduit->m_fd_read >= 0) {
      ok = conduit->m_fd_read == 0 || isChannel(conduit->m_fd_read);
      if (ok)
        conduit->m_readPipe = Pipe_newExisting(conduit->m_fd_read, 0);
    }
    if (ok && conduit->m_fd_write >= 0) {
      ok = conduit->m_fd_write == 1 || conduit->m_fd_write == 2 || isChannel(conduit->m_fd_write);
      if (ok)
        conduit->m_writePipe = Pipe_newExisting(conduit->m_fd_write, 1);
    }
  }
  if (!ok) {
    Conduit_delete(conduit);
    return nullptr;
  }
  return conduit;
}

int Conduit_findArgument(int32_t *count, char **arguments, char **description) {
  if (description != nullptr)
    *description = nullptr;
  if (count == nullptr || arguments == nullptr || *count < 1)
    return 0;
  int32_t first = -1;
  for (int32_t i = 0; i < *count; ++i)
    if (arguments[i] != nullptr && std::strncmp(arguments[i], "-conduit", 8) == 0) {
      first = i;
      break;
    }
  if (first < 0)
    return 0;
  std::string text = arguments[first] + 8;
  int32_t last = first + 1;
  while (last < *count && arguments[last] != nullptr && arguments[last][0] != '-') {
    if (!text.empty())
      text += ' ';
    text += arguments[last];
    ++last;
  }
  if (text.empty())
    text = "pipe";
  int32_t removed = last - first;
  for (int32_t i = last; i < *count; ++i)
    arguments[i - removed] = arguments[i];
  for (int32_t i = *count - removed; i < *count; ++i)
    arguments[i] = nullptr;
  *count -= removed;
  if (description != nullptr)
    *description = zyrCString_clone(text.c_str());
  return 1;
}

Conduit *Conduit_newFromArgs(int32_t *count, char **arguments, const char *defaultDescription) {
  Conduit *conduit = nullptr;
  char *description = nullptr;
  if (count != nullptr && *count >= 1 && Conduit_findArgument(count, arguments, &description))
    conduit = Conduit_newChildEnd(description);
  zyrCString_free(description);
  if (conduit == nullptr && defaultDescription != nullptr)
    conduit = Conduit_newChildEnd(defaultDescription);
  return conduit;
}

void Conduit_delete(Conduit *conduit) {
  if (conduit == nullptr)
    return;
  // Only a socket file this conduit bound (its socket's own address), and only while it is
  // still a socket.
  std::string bound;
  if (conduit->m_ownsSocketPath && conduit->m_socket != nullptr && conduit->m_socket->m_domain == AF_UNIX)
    bound.assign(conduit->m_socket->m_address[Socket_local].m_unix.sun_path,
                 strnlen(conduit->m_socket->m_address[Socket_local].m_unix.sun_path,
                         sizeof conduit->m_socket->m_address[Socket_local].m_unix.sun_path));
  Socket_delete(conduit->m_socket);
  struct stat status;
  if (!bound.empty() && lstat(bound.c_str(), &status) == 0 && S_ISSOCK(status.st_mode))
    unlink(bound.c_str());
  Pipe_delete(conduit->m_readPipe);
  Pipe_delete(conduit->m_writePipe);
  if (conduit->m_communicate && conduit->m_name != nullptr)
    unlink(conduit->m_name);
  zyrCString_free(conduit->m_name);
  zyrCString_free(conduit->m_socketName);
  zyrMemory_free(conduit, __func__);
}

int Conduit_isGood(const Conduit *conduit) {
  if (conduit == nullptr || !conduit->m_isGood)
    return 0;
  if (conduit->m_socket != nullptr)
    return Socket_isValid(conduit->m_socket);
  return 1;
}

void Conduit_print(const Conduit *conduit, FILE *stream) {
  std::fprintf(stream, "m_socket       = %p\n", static_cast<const void *>(conduit->m_socket));
  std::fprintf(stream, "m_readPipe     = %p\n", static_cast<const void *>(conduit->m_readPipe));
  std::fprintf(stream, "m_writePipe    = %p\n", static_cast<const void *>(conduit->m_writePipe));
  std::fprintf(stream, "m_name         = %s\n", conduit->m_name != nullptr ? conduit->m_name : "");
  std::fprintf(stream, "m_type         = %d (%s)\n", conduit->m_type,
               conduit->m_type == ConduitSocket ? "socket" : "pipe");
  if (conduit->m_type == ConduitSocket) {
    std::fprintf(stream, "m_socketDomain = %d (%s)\n", conduit->m_socketDomain, kDomains[conduit->m_socketDomain]);
    std::fprintf(stream, "m_socketType   = %d (%s)\n", conduit->m_socketType, kTypes[conduit->m_socketType]);
    std::fprintf(stream, "m_socketMode   = %d (%s)\n", conduit->m_socketMode, kModes[conduit->m_socketMode]);
    std::fprintf(stream, "m_socketPort   = %d\n", conduit->m_socketPort);
    std::fprintf(stream, "m_socketName   = %s\n", conduit->m_socketName != nullptr ? conduit->m_socketName : "");
  } else {
    std::fprintf(stream, "m_fd_read      = %d\n", conduit->m_fd_read);
    std::fprintf(stream, "m_fd_write     = %d\n", conduit->m_fd_write);
  }
  std::fprintf(stream, "m_communicate  = %d\n", conduit->m_communicate);
  std::fprintf(stream, "m_isGood       = %d\n", conduit->m_isGood);
}

// ------------------------------------------------------------------ transfer

int64_t Conduit_write(Conduit *conduit, const void *bytes, int64_t count) { return sendRaw(conduit, bytes, count); }

int64_t Conduit_read(Conduit *conduit, void *buffer, int64_t count) {
  if (conduit == nullptr || count < 0 || (count > 0 && buffer == nullptr))
    return -1;
  int64_t waiting = conduit->m_aheadFill - conduit->m_aheadPosition;
  if (waiting > 0) {
    int64_t n = std::min(waiting, count);
    std::memcpy(buffer, conduit->m_ahead + conduit->m_aheadPosition, static_cast<size_t>(n));
    conduit->m_aheadPosition += static_cast<int32_t>(n);
    return n;
  }
  if (isSocket(conduit))
    return Socket_recv(conduit->m_socket, buffer, count, 0);
  if (conduit->m_readPipe == nullptr)
    return -1;
  return Pipe_read(conduit->m_readPipe, buffer, count);
}

int64_t Conduit_putInt(Conduit *conduit, int32_t value) { return conduit != nullptr ? putInt(conduit, value) : 0; }

int64_t Conduit_putFloat(Conduit *conduit, float value) {
  if (conduit != nullptr && isSocket(conduit)) {
    char field[ConduitWire_fieldSize];
    ConduitWire_formatFloat(field, value);
    return sendRaw(conduit, field, ConduitWire_fieldSize);
  }
  return sendRaw(conduit, &value, sizeof value);
}

int64_t Conduit_putDouble(Conduit *conduit, double value) {
  if (conduit != nullptr && isSocket(conduit)) {
    char field[ConduitWire_fieldSize];
    ConduitWire_formatDouble(field, value);
    return sendRaw(conduit, field, ConduitWire_fieldSize);
  }
  return sendRaw(conduit, &value, sizeof value);
}

int64_t Conduit_getInt(Conduit *conduit, int32_t *value) {
  return getValue<int32_t>(conduit, value, ConduitWire_parseInt);
}

int64_t Conduit_getFloat(Conduit *conduit, float *value) {
  return getValue<float>(conduit, value, ConduitWire_parseFloat);
}

int64_t Conduit_getDouble(Conduit *conduit, double *value) {
  return getValue<double>(conduit, value, ConduitWire_parseDouble);
}

int64_t Conduit_putBytes(Conduit *conduit, const void *bytes, int32_t count) {
  return putCounted(conduit, bytes, count, 1);
}

int64_t Conduit_getBytes(Conduit *conduit, void *buffer, int32_t capacity, int32_t *count) {
  return getCounted(conduit, buffer, capacity, count, 1);
}

int64_t Conduit_putString(Conduit *conduit, const char *text) {
  if (conduit == nullptr)
    return 0;
  if (text == nullptr)
    text = "";
  int64_t length = static_cast<int64_t>(std::strlen(text)) + 1;
  if (length > Pipe_maximumTransfer)
    return 0;
  int64_t sent = putInt(conduit, static_cast<int32_t>(length));
  if (sent <= 0)
    return sent;
  return sendRaw(conduit, text, length);
}

int64_t Conduit_getString(Conduit *conduit, char **text) {
  if (text != nullptr)
    *text = nullptr;
  if (conduit == nullptr || text == nullptr)
    return 0;
  int32_t length = 0;
  int64_t got = getCount(conduit, &length);
  if (got <= 0)
    return got;
  if (length < 1 || length > Pipe_maximumTransfer)
    return 0;
  int64_t total = 0;
  char *buffer = ConduitWire_receiveText(length, receiveConduit, conduit, __func__, &total);
  const bool whole = total == length;
  if (isSocket(conduit)) {
    if (!whole) {
      zyrMemory_free(buffer, __func__);
      return 0;
    }
    *text = buffer;
    return total;
  }
  *text = buffer;
  return whole ? 1 : 0;
}

int64_t Conduit_putDoubleArray(Conduit *conduit, const double *values, int32_t count) {
  if (conduit == nullptr || isSocket(conduit))
    return Socket_arrayNotSupported();
  return putCounted(conduit, values, count, sizeof *values);
}

int64_t Conduit_putFloatArray(Conduit *conduit, const float *values, int32_t count) {
  if (conduit == nullptr || isSocket(conduit))
    return Socket_arrayNotSupported();
  return putCounted(conduit, values, count, sizeof *values);
}

int64_t Conduit_putIntArray(Conduit *conduit, const int32_t *values, int32_t count) {
  if (conduit == nullptr || isSocket(conduit))
    return Socket_arrayNotSupported();
  return putCounted(conduit, values, count, sizeof *values);
}

int64_t Conduit_getDoubleArray(Conduit *conduit, double *values, int32_t capacity, int32_t *count) {
  if (conduit == nullptr || isSocket(conduit))
    return Socket_arrayNotSupported();
  return getCounted(conduit, values, capacity, count, sizeof *values);
}

int64_t Conduit_getFloatArray(Conduit *conduit, float *values, int32_t capacity, int32_t *count) {
  if (conduit == nullptr || isSocket(conduit))
    return Socket_arrayNotSupported();
  return getCounted(conduit, values, capacity, count, sizeof *values);
}

int64_t Conduit_getIntArray(Conduit *conduit, int32_t *values, int32_t capacity, int32_t *count) {
  if (conduit == nullptr || isSocket(conduit))
    return Socket_arrayNotSupported();
  return getCounted(conduit, values, capacity, count, sizeof *values);
}

int64_t Conduit_putLine(Conduit *conduit, const char *text) {
  if (conduit == nullptr || text == nullptr)
    return 0;
  char *line = zyrCString_merge(text, "\n", static_cast<const char *>(nullptr));
  int64_t result = sendRaw(conduit, line, zyrCString_length(line));
  zyrCString_free(line);
  return result;
}

int64_t Conduit_printf(Conduit *conduit, const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int64_t result = Conduit_vprintf(conduit, format, arguments);
  va_end(arguments);
  return result;
}

int64_t Conduit_vprintf(Conduit *conduit, const char *format, va_list arguments) {
  if (conduit == nullptr || format == nullptr)
    return 0;
  char *text = zyrCString_vbuild(format, arguments);
  if (text == nullptr)
    return 0;
  int64_t result = sendRaw(conduit, text, zyrCString_length(text));
  zyrCString_free(text);
  return result;
}

int64_t Conduit_getline(Conduit *conduit, char **line, int64_t *capacity) {
  if (conduit == nullptr || line == nullptr || capacity == nullptr)
    return -1;
  if (*line == nullptr || *capacity < 0)
    *capacity = 0;
  int64_t copied = 0;
  bool ended = false;   // a line end was copied
  bool anything = false;
  while (!ended && copied < Conduit_maximumLine) {
    if (conduit->m_aheadPosition >= conduit->m_aheadFill) {
      conduit->m_aheadPosition = conduit->m_aheadFill = 0;
      int64_t got;
      if (isSocket(conduit))
        got = Socket_recv(conduit->m_socket, conduit->m_ahead, Conduit_readAheadSize, 0);
      else if (conduit->m_readPipe != nullptr)
        got = Pipe_read(conduit->m_readPipe, conduit->m_ahead, Conduit_readAheadSize);
      else
        got = -1;
      if (got <= 0)
        break;
      conduit->m_aheadFill = static_cast<int32_t>(got);
    }
    int64_t waiting = conduit->m_aheadFill - conduit->m_aheadPosition;
    // Room for what may be copied from the area and a terminator.
    if (copied + waiting + 1 > *capacity) {
      int64_t grown = 2 * (*capacity + waiting);
      *line = zyrMemory_reallocateArray(*line, grown, __func__);
      *capacity = grown;
    }
    const char *from = conduit->m_ahead + conduit->m_aheadPosition;
    const char *end = static_cast<const char *>(std::memchr(from, '\n', static_cast<size_t>(waiting)));
    int64_t take = end != nullptr ? (end - from) + 1 : waiting;
    take = std::min<int64_t>(take, Conduit_maximumLine - copied);
    std::memcpy(*line + copied, from, static_cast<size_t>(take));
    copied += take;
    conduit->m_aheadPosition += static_cast<int32_t>(take);
    anything = true;
    ended = (*line)[copied - 1] == '\n';
  }
  if (!anything)
    return -1;
  if (ended)
    --copied;
  (*line)[copied] = '\0';
  return copied;
}
