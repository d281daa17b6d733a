#include "ConduitWire.h"
#include "Socket.h"
#include "TestSupport.h"
#include "zyrCString.h"
#include "zyrMemory.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

const char kLoop[] = "127.0.0.1";

std::string take(char *text) {
  std::string out = text ? text : "<NULL>";
  zyrCString_free(text);
  return out;
}

// A connected pair of stream sockets over the loopback (or a unix path).
struct StreamPair {
  Socket *server = nullptr, *client = nullptr, *accepted = nullptr;
  explicit StreamPair(int domain = AF_INET, const char *path = nullptr) {
    const char *host = domain == AF_INET ? kLoop : path;
    server = Socket_newServer(domain, host, 0, 5);
    if (server == nullptr)
      return;
    client = Socket_newClient(domain, host, Socket_getPort(server, Socket_local));
    if (client != nullptr && Socket_waitReadable(server, 5000))
      accepted = Socket_accept(server);
  }
  ~StreamPair() {
    Socket_delete(accepted);
    Socket_delete(client);
    Socket_delete(server);
  }
};

TEST(Socket, BindWithPortZeroTellsTheChosenPort) {
  Socket *socket = Socket_new(AF_INET, SOCK_STREAM);
  ASSERT_TRUE(Socket_isValid(socket));
  EXPECT_EQ(socket->m_backlog, -999);
  EXPECT_EQ(Socket_bind(socket, kLoop, 0), 1);
  EXPECT_GT(Socket_getPort(socket, Socket_local), 0);
  EXPECT_EQ(Socket_listen(socket, 3), 1);
  EXPECT_EQ(socket->m_backlog, 3);
  EXPECT_EQ(fcntl(Socket_getFd(socket), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  Socket_delete(socket);
}

TEST(Socket, StringTravelsAsLengthFieldThenTextAndTerminator) {
  StreamPair pair;
  ASSERT_NE(pair.accepted, nullptr);
  EXPECT_EQ(pair.accepted->m_connected, 1);
  EXPECT_EQ(pair.accepted->m_backlog, -999);
  EXPECT_EQ(Socket_putString(pair.client, "abc", 0), 4);
  char wire[84];
  ASSERT_EQ(Socket_recvAll(pair.accepted, wire, sizeof wire, 0), 84);
  EXPECT_STREQ(wire, "4");
  EXPECT_EQ(std::memcmp(wire + 80, "abc", 4), 0);

  EXPECT_EQ(Socket_putString(pair.client, "hello there", 0), 12);
  char *text = nullptr;
  EXPECT_EQ(Socket_getString(pair.accepted, &text, 0), 12);
  EXPECT_EQ(take(text), "hello there");

  // The print names the numeric addresses and ports of both ends.
  char *printed = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&printed, &size);
  Socket_print(pair.client, stream);
  std::fclose(stream);
  const std::string shown(printed);
  std::free(printed);
  EXPECT_NE(shown.find("m_connected   = 1\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("address[1]    = 127.0.0.1 port " + std::to_string(Socket_getPort(pair.server, Socket_local))),
            std::string::npos)
      << shown;

  // Shutting the client's sending side ends the stream at the peer; receiving still works.
  EXPECT_EQ(Socket_shutdown(pair.client, SHUT_WR), 0);
  char byte = 0;
  EXPECT_EQ(Socket_recv(pair.accepted, &byte, 1, 0), 0);
  EXPECT_EQ(Socket_putInt(pair.accepted, 5, 0), 80);
  int32_t five = 0;
  EXPECT_EQ(Socket_getInt(pair.client, &five, 0), 80);
  EXPECT_EQ(five, 5);
  EXPECT_EQ(Socket_shutdown(nullptr, SHUT_RDWR), -1);
}

TEST(Socket, NumbersRoundTripExactly) {
  StreamPair pair;
  ASSERT_NE(pair.accepted, nullptr);
  const double doubles[] = {0.1, 1.0 / 3.0, -DBL_MAX, DBL_MIN, 4.9406564584124654e-324, 123456789.123456789};
  const float floats[] = {0.1f, 1.0f / 3.0f, -FLT_MAX, FLT_MIN, 16777217.0f};
  for (double d : doubles)
    EXPECT_EQ(Socket_putDouble(pair.client, d, 0), 80);
  for (float f : floats)
    EXPECT_EQ(Socket_putFloat(pair.client, f, 0), 80);
  EXPECT_EQ(Socket_putInt(pair.client, INT32_MIN, 0), 80);
  for (double d : doubles) {
    double got = 0;
    EXPECT_EQ(Socket_getDouble(pair.accepted, &got, 0), 80);
    EXPECT_EQ(got, d);
  }
  for (float f : floats) {
    float got = 0;
    EXPECT_EQ(Socket_getFloat(pair.accepted, &got, 0), 80);
    EXPECT_EQ(got, f);
  }
  int32_t i = 0;
  EXPECT_EQ(Socket_getInt(pair.accepted, &i, 0), 80);
  EXPECT_EQ(i, INT32_MIN);
  EXPECT_EQ(Socket_arrayNotSupported(), 0);
}

TEST(Socket, ShortOrHostileTransfersAreRefused) {
  StreamPair pair;
  ASSERT_NE(pair.accepted, nullptr);
  // A count beyond the receiver's capacity, a negative one, a field that is no number.
  EXPECT_EQ(Socket_putBytes(pair.client, "0123456789", 10, 0), 90);
  char small[4];
  int32_t count = 0;
  EXPECT_EQ(Socket_getBytes(pair.accepted, small, sizeof small, &count, 0), 0);
  EXPECT_EQ(count, 10);
  char rest[10];
  EXPECT_EQ(Socket_recvAll(pair.accepted, rest, 10, 0), 10);
  EXPECT_EQ(Socket_putInt(pair.client, -7, 0), 80);
  char *text = reinterpret_cast<char *>(1);
  EXPECT_EQ(Socket_getString(pair.accepted, &text, 0), 0);
  EXPECT_EQ(text, nullptr);
  char field[80];
  std::memset(field, 'x', sizeof field); // no terminator at all
  EXPECT_EQ(Socket_sendAll(pair.client, field, 80, 0), 80);
  int32_t value = 42;
  EXPECT_EQ(Socket_getInt(pair.accepted, &value, 0), 0);
  EXPECT_EQ(value, 42);
  // The peer closes after the length field.
  EXPECT_EQ(Socket_putInt(pair.client, 50, 0), 80);
  Socket_delete(pair.client);
  pair.client = nullptr;
  EXPECT_EQ(Socket_getString(pair.accepted, &text, 0), 0);
  EXPECT_EQ(text, nullptr);
  // Sending to a peer that went away fails without a signal.
  int64_t result = 0;
  for (int i = 0; i < 10 && result >= 0; ++i)
    result = Socket_putString(pair.accepted, "anyone?", 0);
  EXPECT_EQ(result, -1);
}

TEST(Socket, DatagramsCarryFieldsAndTellTheSender) {
  Socket *a = Socket_newDatagram(AF_INET, kLoop, 0);
  Socket *b = Socket_newDatagram(AF_INET, kLoop, 0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Socket_sendTo(a, "ping", 5, 0, kLoop, Socket_getPort(b, Socket_local)), 5);
  char buffer[16];
  char *host = nullptr;
  int32_t port = 0;
  EXPECT_EQ(Socket_recvFrom(b, buffer, sizeof buffer, 0, &host, &port), 5);
  EXPECT_STREQ(buffer, "ping");
  EXPECT_EQ(take(host), kLoop);
  EXPECT_EQ(port, Socket_getPort(a, Socket_local));
  // Associated, the typed functions work as over a stream.
  EXPECT_EQ(Socket_connect(a, kLoop, Socket_getPort(b, Socket_local)), 0);
  EXPECT_EQ(Socket_putDouble(a, 2.5, 0), 80);
  double d = 0;
  EXPECT_EQ(Socket_getDouble(b, &d, 0), 80);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(Socket_disconnect(a), 0);
  EXPECT_EQ(a->m_connected, 0);
  Socket_delete(a);
  Socket_delete(b);
}

TEST(Socket, UnixDomainStreams) {
  zyrtest::ScratchDir dir;
  std::string path = dir.file("s");
  {
    StreamPair pair(AF_UNIX, path.c_str());
    ASSERT_NE(pair.accepted, nullptr);
    EXPECT_EQ(take(Socket_getHostName(pair.server, Socket_local)), path);
    EXPECT_EQ(Socket_putInt(pair.accepted, 77, 0), 80);
    int32_t i = 0;
    EXPECT_EQ(Socket_getInt(pair.client, &i, 0), 80);
    EXPECT_EQ(i, 77);
  }
  // An existing path is never taken over.
  Socket *again = Socket_newServer(AF_UNIX, path.c_str(), 0, 5);
  EXPECT_EQ(again, nullptr);
}

TEST(Socket, MisuseAnswersInsteadOfEndingTheProcess) {
  testing::internal::CaptureStdout();
  Socket *odd = Socket_new(AF_INET6, SOCK_STREAM);
  EXPECT_FALSE(Socket_isValid(odd));
  Socket_delete(odd);
  StreamPair pair;
  ASSERT_NE(pair.client, nullptr);
  EXPECT_EQ(Socket_disconnect(pair.client), 0);
  Socket *loose = Socket_new(AF_INET, SOCK_DGRAM);
  EXPECT_EQ(Socket_disconnect(loose), 0);
  Socket_delete(loose);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "\nERROR: Only PF_INET and PF_UNIX sockets are supported.\n"
                 "\nERROR: Only datagram sockets can be disconnected.\n\n"
                 "\nWARNING: Socket was not connected.\n\n");
}

TEST(ConduitWire, FieldsHoldTextThatReadsBackExactly) {
  char field[ConduitWire_fieldSize];
  ConduitWire_formatInt(field, -42);
  EXPECT_STREQ(field, "-42");
  EXPECT_EQ(field[79], '\0');
  ConduitWire_formatDouble(field, 0.1);
  EXPECT_STREQ(field, "1.0000000000000001e-01");
  ConduitWire_formatFloat(field, 0.1f);
  EXPECT_STREQ(field, "1.00000001e-01");
  double d = 0;
  EXPECT_EQ(ConduitWire_parseDouble(field, &d), 1);
  EXPECT_EQ(static_cast<float>(d), 0.1f);
  int32_t i = 5;
  std::strcpy(field, "2147483648");
  EXPECT_EQ(ConduitWire_parseInt(field, &i), 0);
  std::strcpy(field, "12abc");
  EXPECT_EQ(ConduitWire_parseInt(field, &i), 0);
  std::strcpy(field, " 12 ");
  EXPECT_EQ(ConduitWire_parseInt(field, &i), 1);
  EXPECT_EQ(i, 12);
}

} // namespace

namespace {

// A source of m_available bytes that fills every read it can.
struct PieceSource {
  std::string m_bytes;
  size_t m_available;
  size_t m_at = 0;
  int m_calls = 0;
};

int64_t readPieces(void *source, char *buffer, int64_t count) {
  PieceSource *from = static_cast<PieceSource *>(source);
  ++from->m_calls;
  size_t n = std::min(static_cast<size_t>(count), from->m_available - from->m_at);
  std::memcpy(buffer, from->m_bytes.data() + from->m_at, n);
  from->m_at += n;
  return static_cast<int64_t>(n);
}

} // namespace

TEST(ConduitWire, TextGrowsWithWhatArrivesAndStopsAtAShortRead) {
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>('a' + i % 26);

  // Whole: more than the first allocation, delivered in reads that each fill what was asked.
  PieceSource whole{bytes, bytes.size()};
  int64_t received = -1;
  char *text = ConduitWire_receiveText(200000, readPieces, &whole, "test", &received);
  EXPECT_EQ(received, 200000);
  EXPECT_TRUE(std::string(text, 200000) == bytes);
  EXPECT_EQ(text[200000], '\0');
  EXPECT_EQ(whole.m_calls, 3); // 65536, then doubled to 131072, then the last 68928
  zyrMemory_free(text, "test");

  // A false length: the sender stops after 70000 bytes; what came is kept and terminated.
  PieceSource cut{bytes, 70000};
  text = ConduitWire_receiveText(1000000, readPieces, &cut, "test", &received);
  EXPECT_EQ(received, 70000);
  EXPECT_TRUE(std::string(text) == bytes.substr(0, 70000));
  EXPECT_EQ(cut.m_calls, 2);
  zyrMemory_free(text, "test");
}
