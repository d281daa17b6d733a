#include "Socket.h"

#include "ConduitWire.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cerrno>
#include <cstring>

namespace {

bool isDatagram(const Socket *socket) { return socket->m_type == SOCK_DGRAM; }

Socket *giveUp(Socket *socket) {
  Socket_delete(socket);
  return nullptr;
}

// Receives into an 80-byte field.
int64_t receiveField(Socket *socket, char field[ConduitWire_fieldSize], int32_t flags) {
  std::memset(field, 0, ConduitWire_fieldSize);
  return Socket_recvAll(socket, field, ConduitWire_fieldSize, flags);
}

int64_t sendField(Socket *socket, const char field[ConduitWire_fieldSize], int32_t flags) {
  return Socket_sendAll(socket, field, ConduitWire_fieldSize, flags);
}

template <class T> int64_t getValue(Socket *socket, T *value, int32_t flags, int (*parse)(const char *, T *)) {
  char field[ConduitWire_fieldSize];
  int64_t got = receiveField(socket, field, flags);
  if (got < 0)
    return -1;
  if (got != ConduitWire_fieldSize || !parse(field, value))
    return 0;
  return got;
}

struct SocketReceive {
  Socket *socket;
  int32_t flags;
};

int64_t receiveSocket(void *receive, char *buffer, int64_t count) {
  SocketReceive *from = static_cast<SocketReceive *>(receive);
  return Socket_recvAll(from->socket, buffer, count, from->flags);
}

} // namespace

Socket *Socket_new(int32_t domain, int32_t type) {
  Socket *socket = zyrMemory_allocateZeroedArray<Socket>(1, __func__);
  socket->m_fd = -1;
  socket->m_domain = domain;
  socket->m_type = type;
  socket->m_backlog = -999;
  socket->m_addressLength[0] = socket->m_addressLength[1] = 0;
  if (domain != AF_INET && domain != AF_UNIX) {
    std::printf("\nERROR: Only PF_INET and PF_UNIX sockets are supported.\n");
    std::fflush(stdout);
    return socket;
  }
  socket->m_fd = ::socket(domain, type | SOCK_CLOEXEC, 0);
  if (socket->m_fd < 0)
    std::perror("Socket_new");
  return socket;
}

Socket *Socket_newServer(int32_t domain, const char *host, int32_t port, int32_t backlog) {
  Socket *socket = Socket_new(domain, SOCK_STREAM);
  if (!Socket_isValid(socket) || !Socket_bind(socket, host, port) || !Socket_listen(socket, backlog))
    return giveUp(socket);
  return socket;
}

Socket *Socket_newClient(int32_t domain, const char *host, int32_t port) {
  Socket *socket = Socket_new(domain, SOCK_STREAM);
  if (!Socket_isValid(socket) || Socket_connect(socket, host, port) != 0)
    return giveUp(socket);
  return socket;
}

Socket *Socket_newDatagram(int32_t domain, const char *host, int32_t port) {
  return Socket_newBound(domain, SOCK_DGRAM, host, port);
}

Socket *Socket_newBound(int32_t domain, int32_t type, const char *host, int32_t port) {
  Socket *socket = Socket_new(domain, type);
  if (!Socket_isValid(socket) || !Socket_bind(socket, host, port))
    return giveUp(socket);
  return socket;
}

void Socket_delete(Socket *socket) {
  if (socket == nullptr)
    return;
  if (socket->m_fd >= 0) {
    ::shutdown(socket->m_fd, SHUT_RDWR);
    ::close(socket->m_fd);
  }
  zyrMemory_free(socket, __func__);
}

Socket *Socket_clone(const Socket *socket) {
  return static_cast<Socket *>(zyrMemory_duplicate(socket, sizeof *socket, __func__));
}

void Socket_print(const Socket *socket, FILE *stream) {
  std::fprintf(stream, "Socket: %p\n", static_cast<const void *>(socket));
  std::fprintf(stream, "m_fd          = %d\n", socket->m_fd);
  std::fprintf(stream, "m_domain      = %d\n", socket->m_domain);
  std::fprintf(stream, "m_type        = %d\n", socket->m_type);
  std::fprintf(stream, "m_status      = %d\n", socket->m_status);
  std::fprintf(stream, "m_backlog     = %d\n", socket->m_backlog);
  std::fprintf(stream, "m_connected   = %d\n", socket->m_connected);
  // Numeric addresses only: printing must not wait for a name service.
  for (int32_t index = 0; index < 2; ++index) {
    char text[INET_ADDRSTRLEN] = "";
    const SocketAddress &address = socket->m_address[index];
    if (socket->m_domain == AF_INET)
      inet_ntop(AF_INET, &address.m_inet.sin_addr, text, sizeof text);
    std::fprintf(stream, "address[%d]    = %.*s port %d (length %d)\n", index, static_cast<int>(sizeof address.m_unix.sun_path),
                 socket->m_domain == AF_UNIX ? address.m_unix.sun_path : text, Socket_getPort(socket, index),
                 socket->m_addressLength[index]);
  }
}

int Socket_setAddress(Socket *socket, int32_t index, const char *host, int32_t port) {
  if (socket == nullptr || index < 0 || index > 1)
    return 0;
  SocketAddress &address = socket->m_address[index];
  std::memset(&address, 0, sizeof address);
  socket->m_addressLength[index] = -1;
  if (socket->m_domain == AF_UNIX) {
    if (host == nullptr || std::strlen(host) >= sizeof address.m_unix.sun_path) {
      std::fprintf(stderr, "gethostbyname: invalid socket path\n");
      return 0;
    }
    address.m_unix.sun_family = AF_UNIX;
    std::strcpy(address.m_unix.sun_path, host);
    socket->m_addressLength[index] = static_cast<int32_t>(offsetof(sockaddr_un, sun_path) + std::strlen(host) + 1);
    return 1;
  }
  if (port < 0 || port > 65535)
    return 0;
  address.m_inet.sin_family = AF_INET;
  address.m_inet.sin_port = htons(static_cast<uint16_t>(port));
  if (host == nullptr) {
    address.m_inet.sin_addr.s_addr = htonl(INADDR_ANY);
  } else if (inet_pton(AF_INET, host, &address.m_inet.sin_addr) != 1) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    addrinfo *found = nullptr;
    int failure = getaddrinfo(host, nullptr, &hints, &found);
    if (failure != 0 || found == nullptr) {
      std::fprintf(stderr, "gethostbyname: %s\n", gai_strerror(failure));
      if (found != nullptr)
        freeaddrinfo(found);
      return 0;
    }
    address.m_inet.sin_addr = reinterpret_cast<sockaddr_in *>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  socket->m_addressLength[index] = sizeof(sockaddr_in);
  return 1;
}

int Socket_bind(Socket *socket, const char *host, int32_t port) {
  if (!Socket_isValid(socket) || !Socket_setAddress(socket, Socket_local, host, port))
    return 0;
  socket->m_status = ::bind(socket->m_fd, &socket->m_address[0].m_any,
                            static_cast<socklen_t>(socket->m_addressLength[0]));
  if (socket->m_status == 0) {
    socklen_t length = sizeof socket->m_address[0];
    socket->m_status = getsockname(socket->m_fd, &socket->m_address[0].m_any, &length);
    if (socket->m_status == 0)
      socket->m_addressLength[0] = static_cast<int32_t>(length);
  }
  if (socket->m_status != 0) {
    std::perror("bind or getsockname");
    return 0;
  }
  return 1;
}

int Socket_listen(Socket *socket, int32_t backlog) {
  if (!Socket_isValid(socket))
    return 0;
  socket->m_backlog = backlog;
  socket->m_status = ::listen(socket->m_fd, backlog);
  if (socket->m_status != 0) {
    std::perror("listen");
    return 0;
  }
  return 1;
}

int Socket_waitReadable(const Socket *socket, int32_t milliseconds) {
  if (!Socket_isValid(socket))
    return 0;
  pollfd entry = {socket->m_fd, POLLIN, 0};
  for (;;) {
    int ready = ::poll(&entry, 1, milliseconds < 0 ? -1 : milliseconds);
    if (ready >= 0)
      return ready > 0 ? 1 : 0;
    if (errno != EINTR)
      return 0;
  }
}

Socket *Socket_accept(Socket *socket) {
  if (!Socket_isValid(socket))
    return nullptr;
  SocketAddress peer;
  socklen_t length = sizeof peer;
  int fd;
  do {
    length = sizeof peer;
    fd = accept4(socket->m_fd, &peer.m_any, &length, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    std::perror("Socket_accept");
    return nullptr;
  }
  Socket *accepted = Socket_clone(socket);
  accepted->m_fd = fd;
  accepted->m_backlog = -999;
  accepted->m_connected = 1;
  accepted->m_address[1] = peer;
  accepted->m_addressLength[1] = static_cast<int32_t>(length);
  return accepted;
}

int Socket_connect(Socket *socket, const char *host, int32_t port) {
  if (!Socket_isValid(socket))
    return -1;
  int result = -1;
  if (Socket_setAddress(socket, Socket_peer, host, port)) {
    result = ::connect(socket->m_fd, &socket->m_address[1].m_any, static_cast<socklen_t>(socket->m_addressLength[1]));
    if (result != 0 && errno == EINTR) {
      // The connection goes on in the background: wait for its outcome.
      pollfd entry = {socket->m_fd, POLLOUT, 0};
      while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
      }
      int failure = 0;
      socklen_t size = sizeof failure;
      if (getsockopt(socket->m_fd, SOL_SOCKET, SO_ERROR, &failure, &size) == 0 && failure == 0)
        result = 0;
      else
        errno = failure;
    }
    if (result != 0)
      std::perror("connect");
  }
  socket->m_connected = 1;
  return result;
}

int Socket_disconnect(Socket *socket) {
  if (socket == nullptr)
    return 0;
  if (!socket->m_connected) {
    std::printf("\nWARNING: Socket was not connected.\n\n");
    std::fflush(stdout);
    return 0;
  }
  if (!isDatagram(socket)) {
    std::printf("\nERROR: Only datagram sockets can be disconnected.\n\n");
    std::fflush(stdout);
    return 0;
  }
  sockaddr none;
  std::memset(&none, 0, sizeof none);
  none.sa_family = AF_UNSPEC;
  int result = ::connect(socket->m_fd, &none, sizeof none);
  if (result != 0)
    std::perror("connect");
  socket->m_connected = 0;
  return result;
}

int Socket_shutdown(Socket *socket, int32_t how) { return Socket_isValid(socket) ? ::shutdown(socket->m_fd, how) : -1; }

int64_t Socket_send(Socket *socket, const void *bytes, int64_t count, int32_t flags) {
  if (!Socket_isValid(socket) || count < 0)
    return -1;
  for (;;) {
    ssize_t sent = ::send(socket->m_fd, bytes, static_cast<size_t>(count), flags | MSG_NOSIGNAL);
    if (sent >= 0 || errno != EINTR)
      return sent;
  }
}

int64_t Socket_recv(Socket *socket, void *buffer, int64_t count, int32_t flags) {
  if (!Socket_isValid(socket) || count < 0)
    return -1;
  for (;;) {
    ssize_t got = ::recv(socket->m_fd, buffer, static_cast<size_t>(count), flags);
    if (got >= 0 || errno != EINTR)
      return got;
  }
}

int64_t Socket_sendAll(Socket *socket, const void *bytes, int64_t count, int32_t flags) {
  if (isDatagram(socket))
    return Socket_send(socket, bytes, count, flags);
  const char *at = static_cast<const char *>(bytes);
  int64_t done = 0;
  while (done < count) {
    int64_t sent = Socket_send(socket, at + done, std::min<int64_t>(count - done, INT64_C(1) << 30), flags);
    if (sent <= 0)
      return -1;
    done += sent;
  }
  return count;
}

int64_t Socket_recvAll(Socket *socket, void *buffer, int64_t count, int32_t flags) {
  if (!Socket_isValid(socket) || count < 0)
    return -1;
  if (isDatagram(socket))
    return Socket_recv(socket, buffer, count, flags);
  char *at = static_cast<char *>(buffer);
  int64_t done = 0;
  while (done < count) {
    int64_t got = Socket_recv(socket, at + done, std::min<int64_t>(count - done, INT64_C(1) << 30), flags);
    if (got < 0)
      return -1;
    if (got == 0)
      break;
    done += got;
  }
  return done;
}

int32_t Socket_getFd(const Socket *socket) { return socket != nullptr ? socket->m_fd : -1; }

int Socket_isValid(const Socket *socket) { return socket != nullptr && socket->m_fd >= 0 ? 1 : 0; }

int32_t Socket_getPort(const Socket *socket, int32_t index) {
  if (socket == nullptr || index < 0 || index > 1 || socket->m_domain != AF_INET)
    return 0;
  return ntohs(socket->m_address[index].m_inet.sin_port);
}

char *Socket_getHostName(const Socket *socket, int32_t index) {
  if (socket == nullptr || index < 0 || index > 1 || socket->m_addressLength[index] <= 0)
    return nullptr;
  const SocketAddress &address = socket->m_address[index];
  if (socket->m_domain == AF_UNIX)
    return address.m_unix.sun_path[0] != '\0' ? zyrCString_clone(address.m_unix.sun_path) : nullptr;
  if (socket->m_domain != AF_INET)
    return nullptr;
  char name[NI_MAXHOST];
  if (getnameinfo(&address.m_any, sizeof(sockaddr_in), name, sizeof name, nullptr, 0, NI_NAMEREQD) != 0)
    return nullptr;
  return zyrCString_clone(name);
}

int64_t Socket_putInt(Socket *socket, int32_t value, int32_t flags) {
  char field[ConduitWire_fieldSize];
  ConduitWire_formatInt(field, value);
  return sendField(socket, field, flags);
}

int64_t Socket_putFloat(Socket *socket, float value, int32_t flags) {
  char field[ConduitWire_fieldSize];
  ConduitWire_formatFloat(field, value);
  return sendField(socket, field, flags);
}

int64_t Socket_putDouble(Socket *socket, double value, int32_t flags) {
  char field[ConduitWire_fieldSize];
  ConduitWire_formatDouble(field, value);
  return sendField(socket, field, flags);
}

int64_t Socket_getInt(Socket *socket, int32_t *value, int32_t flags) {
  return getValue<int32_t>(socket, value, flags, ConduitWire_parseInt);
}

int64_t Socket_getFloat(Socket *socket, float *value, int32_t flags) {
  return getValue<float>(socket, value, flags, ConduitWire_parseFloat);
}

int64_t Socket_getDouble(Socket *socket, double *value, int32_t flags) {
  return getValue<double>(socket, value, flags, ConduitWire_parseDouble);
}

int64_t Socket_putBytes(Socket *socket, const void *bytes, int32_t count, int32_t flags) {
  if (count < 0 || (count > 0 && bytes == nullptr))
    return -1;
  if (Socket_putInt(socket, count, flags) != ConduitWire_fieldSize)
    return -1;
  if (count == 0)
    return ConduitWire_fieldSize;
  if (Socket_sendAll(socket, bytes, count, flags) != count)
    return -1;
  return ConduitWire_fieldSize + static_cast<int64_t>(count);
}

int64_t Socket_getBytes(Socket *socket, void *buffer, int32_t capacity, int32_t *count, int32_t flags) {
  int32_t n = 0;
  if (count != nullptr)
    *count = 0;
  int64_t got = Socket_getInt(socket, &n, flags);
  if (got <= 0)
    return got;
  if (count != nullptr)
    *count = n;
  if (n < 0 || n > capacity || (n > 0 && buffer == nullptr))
    return 0;
  if (n == 0)
    return got;
  int64_t received = Socket_recvAll(socket, buffer, n, flags);
  if (received < 0)
    return -1;
  return received == n ? got + received : 0;
}

int64_t Socket_putString(Socket *socket, const char *text, int32_t flags) {
  if (text == nullptr)
    text = "";
  int64_t length = static_cast<int64_t>(std::strlen(text)) + 1;
  if (length > Socket_maximumTransfer)
    return -1;
  if (Socket_putInt(socket, static_cast<int32_t>(length), flags) != ConduitWire_fieldSize)
    return -1;
  return Socket_sendAll(socket, text, length, flags);
}

int64_t Socket_getString(Socket *socket, char **text, int32_t flags) {
  if (text == nullptr)
    return 0;
  *text = nullptr;
  int32_t length = 0;
  int64_t got = Socket_getInt(socket, &length, flags);
  if (got <= 0)
    return got;
  if (length < 1 || length > Socket_maximumTransfer)
    return 0;
  SocketReceive receive = {socket, flags};
  int64_t total = 0;
  char *buffer = ConduitWire_receiveText(length, receiveSocket, &receive, __func__, &total);
  if (total < length) {
    zyrMemory_free(buffer, __func__);
    return 0;
  }
  *text = buffer;
  return total;
}

int Socket_arrayNotSupported() { return 0; }

int64_t Socket_sendTo(Socket *socket, const void *bytes, int64_t count, int32_t flags, const char *host,
                      int32_t port) {
  if (!Socket_isValid(socket) || count < 0 || !Socket_setAddress(socket, Socket_peer, host, port))
    return -1;
  for (;;) {
    ssize_t sent = ::sendto(socket->m_fd, bytes, static_cast<size_t>(count), flags | MSG_NOSIGNAL,
                            &socket->m_address[1].m_any, static_cast<socklen_t>(socket->m_addressLength[1]));
    if (sent >= 0 || errno != EINTR)
      return sent;
  }
}

int64_t Socket_recvFrom(Socket *socket, void *buffer, int64_t count, int32_t flags, char **host, int32_t *port) {
  if (host != nullptr)
    *host = nullptr;
  if (!Socket_isValid(socket) || count < 0)
    return -1;
  SocketAddress from;
  std::memset(&from, 0, sizeof from);
  socklen_t length;
  ssize_t got;
  do {
    length = sizeof from;
    got = ::recvfrom(socket->m_fd, buffer, static_cast<size_t>(count), flags, &from.m_any, &length);
  } while (got < 0 && errno == EINTR);
  socket->m_status = static_cast<int32_t>(got);
  if (got < 0)
    return got;
  if (from.m_any.sa_family == AF_INET) {
    char text[INET_ADDRSTRLEN];
    if (host != nullptr && inet_ntop(AF_INET, &from.m_inet.sin_addr, text, sizeof text) != nullptr)
      *host = zyrCString_clone(text);
    if (port != nullptr)
      *port = ntohs(from.m_inet.sin_port);
  } else {
    if (host != nullptr && length > offsetof(sockaddr_un, sun_path) && from.m_unix.sun_path[0] != '\0')
      *host = zyrCString_clone(from.m_unix.sun_path);
    if (port != nullptr)
      *port = -1;
  }
  return got;
}
