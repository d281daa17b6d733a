#ifndef ZYR_SOCKET_H
#define ZYR_SOCKET_H
// A thin record over a BSD socket of the inet (IPv4) or unix domain, stream or datagram. Typed
// values travel as the 80-byte text fields of ConduitWire.h; strings and byte blocks as a count
// field followed by the bytes. Stream transfers go on until the full count has moved; a datagram
// is one send or receive. Sends never raise SIGPIPE: a peer that went away gives -1 (EPIPE).
//
// Failing calls print the name of the call with perror, as the callers expect, and answer 0, -1
// or NULL. Descriptors are close-on-exec.
//
// For the unix domain the host argument of the functions below is the socket's path and the
// port is not used.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstdint>
#include <cstdio>

union SocketAddress {
  sockaddr m_any;
  sockaddr_in m_inet;
  sockaddr_un m_unix;
};

struct Socket {
  int32_t m_fd;                 // negative when creation failed
  int32_t m_domain;             // AF_INET or AF_UNIX
  int32_t m_type;               // SOCK_STREAM or SOCK_DGRAM
  int32_t m_status;             // last bind, getsockname, listen or datagram receive
  int32_t m_backlog;            // -999 until Socket_listen
  int32_t m_addressLength[2];   // local, peer; -1 when the host did not resolve
  SocketAddress m_address[2];   // local (index 0), peer (index 1)
  int32_t m_connected;
};

enum { Socket_local = 0, Socket_peer = 1 };
// Longest string or byte block a receive accepts from the other side.
enum { Socket_maximumTransfer = 1 << 28 };

// Always a record (NULL never): a domain other than inet and unix prints an error and leaves the
// descriptor -1; a failed socket call prints "Socket_new" with perror.
Socket *Socket_new(int32_t domain, int32_t type);
// The following give NULL (nothing left open) when any step fails.
Socket *Socket_newServer(int32_t domain, const char *host, int32_t port, int32_t backlog);
Socket *Socket_newClient(int32_t domain, const char *host, int32_t port);
Socket *Socket_newDatagram(int32_t domain, const char *host, int32_t port);
Socket *Socket_newBound(int32_t domain, int32_t type, const char *host, int32_t port);
// Shuts both directions down and closes the descriptor.
void Socket_delete(Socket *socket);
// A copy of the record sharing the descriptor.
Socket *Socket_clone(const Socket *socket);
void Socket_print(const Socket *socket, FILE *stream);

// Fills the local or peer address from host (NULL: any address) and port; 1 on success.
int Socket_setAddress(Socket *socket, int32_t index, const char *host, int32_t port);
// Port 0 binds a port the system chooses; Socket_getPort(socket, Socket_local) tells which.
int Socket_bind(Socket *socket, const char *host, int32_t port);
int Socket_listen(Socket *socket, int32_t backlog);
// Waits up to the given milliseconds (negative: without limit) for the socket to become
// readable (a listening socket: for a connection). 1 ready, 0 not.
int Socket_waitReadable(const Socket *socket, int32_t milliseconds);
// The accepted connection as a new record, or NULL.
Socket *Socket_accept(Socket *socket);
// 0 or -1 as connect answers.
int Socket_connect(Socket *socket, const char *host, int32_t port);
// Dissolves a datagram socket's association; 0 (with a message) for a socket that is not
// connected or not a datagram socket.
int Socket_disconnect(Socket *socket);
int Socket_shutdown(Socket *socket, int32_t how);

// One send or receive: the system's result.
int64_t Socket_send(Socket *socket, const void *bytes, int64_t count, int32_t flags);
int64_t Socket_recv(Socket *socket, void *buffer, int64_t count, int32_t flags);
// Until all is sent: count, or -1.
int64_t Socket_sendAll(Socket *socket, const void *bytes, int64_t count, int32_t flags);
// Stream: until count bytes arrived or the peer closed; datagram: one receive. The number
// received, or -1.
int64_t Socket_recvAll(Socket *socket, void *buffer, int64_t count, int32_t flags);

int32_t Socket_getFd(const Socket *socket);
int Socket_isValid(const Socket *socket);
// Inet: the port of the local or peer address in host order; unix: 0.
int32_t Socket_getPort(const Socket *socket, int32_t index);
// New string with the name of the address's host (inet), its path (unix), or NULL.
char *Socket_getHostName(const Socket *socket, int32_t index);

// One field: 80 (the field size) on success, -1 on failure.
int64_t Socket_putInt(Socket *socket, int32_t value, int32_t flags);
int64_t Socket_putFloat(Socket *socket, float value, int32_t flags);
int64_t Socket_putDouble(Socket *socket, double value, int32_t flags);
// 80 when a whole field holding a value arrived; 0 for a short or malformed field; -1 on error.
int64_t Socket_getInt(Socket *socket, int32_t *value, int32_t flags);
int64_t Socket_getFloat(Socket *socket, float *value, int32_t flags);
int64_t Socket_getDouble(Socket *socket, double *value, int32_t flags);

// The count field, then the bytes: the number of bytes sent in all, or -1.
int64_t Socket_putBytes(Socket *socket, const void *bytes, int32_t count, int32_t flags);
// The number of bytes received in all (count field included) when the whole block arrived;
// 0 when it did not or when its count was negative or above the capacity (the bytes are then
// left unread); -1 on error.
int64_t Socket_getBytes(Socket *socket, void *buffer, int32_t capacity, int32_t *count, int32_t flags);
// The length field (text length plus 1), then the text and its terminator; the result of the
// last send.
int64_t Socket_putString(Socket *socket, const char *text, int32_t flags);
// *text: a new string, or NULL when no valid length (1 to Socket_maximumTransfer) arrived or the
// text arrived short. The number of text bytes received on success, else 0 (or -1 on error).
int64_t Socket_getString(Socket *socket, char **text, int32_t flags);
// Arrays do not travel over sockets.
int Socket_arrayNotSupported();

// Datagrams to and from an address. recvFrom gives the sender as a new string (dotted address
// or path) and its port (-1 for a unix path) when asked.
int64_t Socket_sendTo(Socket *socket, const void *bytes, int64_t count, int32_t flags, const char *host,
                      int32_t port);
int64_t Socket_recvFrom(Socket *socket, void *buffer, int64_t count, int32_t flags, char **host, int32_t *port);

#endif
