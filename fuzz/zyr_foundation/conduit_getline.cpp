// Conduit_getline over data that arrives in pieces of random sizes (one packet per piece, so the
// pieces are exactly those chosen): the lines read back must rebuild the data byte for byte.
// The first two input bytes choose the piece sizes and the caller's first buffer.
#include "Conduit.h"
#include "Socket.h"
#include "zyrMemory.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2 || size > 32768)
    return 0;
  uint32_t state = data[0] * 2654435761u + 1;
  const int64_t firstCapacity = data[1] % 4 == 0 ? 0 : data[1];
  const std::string text(reinterpret_cast<const char *>(data + 2), size - 2);

  int fds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0)
    return 0;
  int buffer = 1 << 20;
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  // At most 128 packets (the last takes the rest), so that the socket's buffer holds them all.
  int packets = 0;
  for (size_t at = 0; at < text.size(); ++packets) {
    state = state * 1103515245u + 12345u;
    size_t piece = 1 + (state >> 16) % (state & 0x100 ? 7 : 300);
    piece = packets == 127 ? text.size() - at : std::min(piece, text.size() - at);
    if (send(fds[0], text.data() + at, piece, MSG_NOSIGNAL) != static_cast<ssize_t>(piece))
      std::abort();
    at += piece;
  }
  close(fds[0]);

  Conduit *conduit = Conduit_newFromDescription("pipe");
  conduit->m_socket = Socket_new(AF_UNIX, SOCK_SEQPACKET);
  close(conduit->m_socket->m_fd);
  conduit->m_socket->m_fd = fds[1];

  char *line = firstCapacity > 0 ? static_cast<char *>(zyrMemory_allocate(firstCapacity, "fuzz")) : nullptr;
  int64_t capacity = firstCapacity;
  std::string rebuilt;
  for (int64_t n; (n = Conduit_getline(conduit, &line, &capacity)) >= 0;) {
    if (n + 1 > capacity || line[n] != '\0')
      std::abort();
    rebuilt.append(line, static_cast<size_t>(n));
    rebuilt += '\n';
  }
  zyrMemory_free(line, "fuzz");
  if (!text.empty() && text.back() != '\n')
    rebuilt.pop_back(); // the last line had no line end
  if (rebuilt != text)
    std::abort();
  Conduit_delete(conduit);
  return 0;
}
