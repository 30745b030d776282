// The socket layer's contract, run unchanged against both implementations (natively, and the
// Windows build under Wine), so the exchange above it behaves the same on both systems.
#include "cgi/net.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "tests/ScriptedPeer.h"

#if defined(_WIN32)
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

using tiltwise_test::Script;
using tiltwise_test::ScriptedPeer;

const std::uint32_t kLoopback = htonl(0x7f000001);

#if defined(_WIN32)
const int kRefusedError = WSAECONNREFUSED;
bool UnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}
#else
const int kRefusedError = ECONNREFUSED;
bool UnderWine() {
  return false;
}
#endif

// A connected socket, closed at the end of the scope.
class Client {
 public:
  explicit Client(int port, int timeoutMs = 2000) : s_(net::OpenTcp()) {
    connected_ = s_ != net::kInvalidSocket && net::ConnectWithin(s_, kLoopback, port, timeoutMs);
  }
  ~Client() { net::Close(s_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  net::Socket get() const { return s_; }
  bool connected() const { return connected_; }

  // Everything until the peer closes, bounded by a few waits.
  std::string ReadAll() {
    std::string got;
    char buf[512];
    for (int i = 0; i < 100 && net::WaitReadable(s_, 2000) == net::Wait::kReady; ++i) {
      int n = net::Recv(s_, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }

 private:
  net::Socket s_;
  bool connected_ = false;
};

Script Unread(std::vector<tiltwise_test::Write> writes, int silentMs = 0, bool reset = false) {
  Script s;
  s.readRequest = false;
  s.writes = std::move(writes);
  s.silentMs = silentMs;
  s.reset = reset;
  return s;
}

std::int64_t ElapsedSince(std::int64_t start) {
  return tw::NowMs() - start;
}

// A listener whose accept queue is full: the system drops further handshakes, so a connection
// attempt stays unanswered, as with a camera that does not respond. Loopback only.
class FullListener {
 public:
  FullListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = kLoopback;
    socklen_t len = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
        ::listen(listener_, 0) != 0) {
      return;
    }
    port_ = ntohs(a.sin_port);
    // Fill the queue until an attempt goes unanswered.
    for (int i = 0; i < 16 && !full_; ++i) {
      auto c = std::make_unique<Client>(port_, 300);
      full_ = !c->connected();
      if (!full_) fillers_.push_back(std::move(c));
    }
  }
  ~FullListener() {
    fillers_.clear();
#if defined(_WIN32)
    ::closesocket(listener_);
#else
    ::close(listener_);
#endif
  }
  int port() const {
    return port_;
  }
  bool full() const {
    return full_;
  }

 private:
#if defined(_WIN32)
  SOCKET listener_;
#else
  int listener_;
#endif
  int port_ = 0;
  bool full_ = false;
  std::vector<std::unique_ptr<Client>> fillers_;
};

TEST(NetLibrary, StartsAndStopsInPairs) {
  ASSERT_TRUE(net::Startup());
  ASSERT_TRUE(net::Startup());
  net::Cleanup();
  net::Cleanup();
  // The test program holds its own start, so sockets still work.
  net::Socket s = net::OpenTcp();
  EXPECT_NE(s, net::kInvalidSocket);
  net::Close(s);
  net::Close(net::kInvalidSocket);  // harmless
}

TEST(NetConnect, ReachesAListeningPeerAndReadsItsReply) {
  ScriptedPeer peer(Unread({{"hello, ", 0}, {"world", 50}}));
  Client c(peer.port());
  ASSERT_TRUE(c.connected());
  EXPECT_EQ(c.ReadAll(), "hello, world");
}

TEST(NetConnect, LeavesTheSocketBlocking) {
  // The peer says nothing for 300 ms and then closes. A blocking recv waits for that close; a
  // socket left non-blocking would fail at once with a transient error.
  ScriptedPeer peer(Unread({}, 300));
  Client c(peer.port());
  ASSERT_TRUE(c.connected());
  const std::int64_t start = tw::NowMs();
  char buf[16];
  EXPECT_EQ(net::Recv(c.get(), buf, sizeof buf), 0);
  EXPECT_GE(ElapsedSince(start), 250);
}

TEST(NetConnect, RefusedFailsBeforeTheLimitWithTheSystemsReason) {
  const int port = tiltwise_test::UnusedLoopbackPort();
  net::Socket s = net::OpenTcp();
  ASSERT_NE(s, net::kInvalidSocket);
  const std::int64_t start = tw::NowMs();
  // Windows retries the handshake after a reset for a second or two before it reports the
  // refusal; Linux and Wine report it at once. Either way well before the limit.
  EXPECT_FALSE(net::ConnectWithin(s, kLoopback, port, 10000));
  EXPECT_LT(ElapsedSince(start), 5000);
  EXPECT_FALSE(net::LastErrorIsTransient());
  EXPECT_NE(net::LastErrorText().find(std::to_string(kRefusedError)), std::string::npos)
      << net::LastErrorText();
  net::Close(s);
}

TEST(NetConnect, UnansweredHandshakeEndsAtTheLimit) {
  FullListener silent;
  if (!silent.full()) GTEST_SKIP() << "this system answers every handshake on loopback";
  net::Socket s = net::OpenTcp();
  ASSERT_NE(s, net::kInvalidSocket);
  std::int64_t start = tw::NowMs();
  EXPECT_FALSE(net::ConnectWithin(s, kLoopback, silent.port(), 400));
  std::int64_t took = ElapsedSince(start);
  EXPECT_GE(took, 395);
  EXPECT_LT(took, 1400);
  net::Close(s);

  s = net::OpenTcp();
  start = tw::NowMs();
  EXPECT_FALSE(net::ConnectWithin(s, kLoopback, silent.port(), -1)) << "a negative limit fails";
  EXPECT_LT(ElapsedSince(start), 200);
  net::Close(s);
}

// The sweep's connects: many at once, each ending on its own, an unanswered one never marked.
TEST(NetSweep, ConnectsAtOnceAndMarksEachAsItEnds) {
  std::vector<std::unique_ptr<ScriptedPeer>> peers;
  for (int i = 0; i < 3; ++i) {
    peers.push_back(std::make_unique<ScriptedPeer>(ScriptedPeer::AcceptAndClose()));
  }
  FullListener silent;
  std::vector<int> ports = {peers[0]->port(), tiltwise_test::UnusedLoopbackPort(), peers[1]->port(),
                            tiltwise_test::UnusedLoopbackPort(), peers[2]->port()};
  if (silent.full()) ports.push_back(silent.port());
  std::vector<net::PendingConnect> pending(ports.size());
  for (size_t i = 0; i < ports.size(); ++i) {
    const net::Connect c = net::StartConnect(kLoopback, ports[i], &pending[i].socket);
    if (c != net::Connect::kPending) {
      pending[i].done = true;
      pending[i].connected = c == net::Connect::kConnected;
    }
    EXPECT_EQ(pending[i].socket == net::kInvalidSocket, c == net::Connect::kFailed) << i;
  }
  const std::int64_t end = tw::NowMs() + 6000;  // Windows takes a second or two per refusal
  auto ended = [&] {
    size_t n = 0;
    for (const auto& p : pending) n += p.done;
    return n;
  };
  while (ended() < 5 && tw::NowMs() < end) {
    ASSERT_TRUE(net::WaitConnects(pending.data(), pending.size(), 100));
  }
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_TRUE(pending[i].done) << i;
    EXPECT_EQ(pending[i].connected, i % 2 == 0) << i;
  }
  if (silent.full()) {
    ASSERT_TRUE(net::WaitConnects(pending.data(), pending.size(), 200));
    EXPECT_FALSE(pending.back().done);
  }
  for (const auto& p : pending) net::Close(p.socket);
  EXPECT_GT(net::RaiseOpenFileLimit(), 256);
}

TEST(NetWait, ReadableTimesOutOnASilentPeerAfterTheWholeLimit) {
  ScriptedPeer peer(Unread({}, 3000));
  Client c(peer.port());
  ASSERT_TRUE(c.connected());
  for (int limit : {0, 250, 999}) {
    const std::int64_t start = tw::NowMs();
    EXPECT_EQ(net::WaitReadable(c.get(), limit), net::Wait::kTimeout) << limit;
    const std::int64_t took = ElapsedSince(start);
    EXPECT_GE(took, limit - 1) << limit;  // clock readings are whole milliseconds
    EXPECT_LT(took, limit + 500) << limit;
  }
}

TEST(NetWait, NegativeLimitIsAnErrorEvenWhenReady) {
  ScriptedPeer peer(Unread({{"x", 0}}, 3000));
  Client c(peer.port());
  ASSERT_TRUE(c.connected());
  ASSERT_EQ(net::WaitReadable(c.get(), 2000), net::Wait::kReady);
  EXPECT_EQ(net::WaitReadable(c.get(), -1), net::Wait::kError);
  EXPECT_EQ(net::WaitWritable(c.get(), -1000), net::Wait::kError);
  EXPECT_EQ(net::WaitWritable(c.get(), 0), net::Wait::kReady);
}

TEST(NetWait, OrderlyCloseIsReadableAndReadsZero) {
  ScriptedPeer peer(Unread({}));
  Client c(peer.port());
  ASSERT_TRUE(c.connected());
  ASSERT_EQ(net::WaitReadable(c.get(), 2000), net::Wait::kReady);
  char buf[8];
  EXPECT_EQ(net::Recv(c.get(), buf, sizeof buf), 0);
}

// The peers below reset only after a pause: a reset during the handshake would fail the connect
// itself, on either system.
TEST(NetWait, ResetIsReadableAndReadsAnError) {
  ScriptedPeer peer(Unread({}, 100, /*reset=*/true));
  Client c(peer.port());
  ASSERT_TRUE(c.connected());
  ASSERT_TRUE(peer.WaitForConnections(1, 2000));
  ASSERT_EQ(net::WaitReadable(c.get(), 2000), net::Wait::kReady);
  char buf[8];
  if (UnderWine()) {
    // Wine (8.0) reports a reset to recv as an orderly close; Windows and POSIX report an error.
    EXPECT_EQ(net::Recv(c.get(), buf, sizeof buf), 0);
    return;
  }
  EXPECT_EQ(net::Recv(c.get(), buf, sizeof buf), -1);
  EXPECT_FALSE(net::LastErrorIsTransient());
  EXPECT_FALSE(net::LastErrorText().empty());
}

TEST(NetSend, RequestArrivesWholeAndReplyComesBack) {
  const std::string request = "GET /qx.html HTTP/1.1\r\nHost: 127.0.0.1:80\r\n\r\n";
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose("HTTP/1.1 200 OK\r\n\r\nvar a=1;"));
  Client c(peer.port());
  ASSERT_TRUE(c.connected());
  ASSERT_EQ(net::WaitWritable(c.get(), 2000), net::Wait::kReady);
  ASSERT_EQ(net::Send(c.get(), request.data(), static_cast<int>(request.size())),
            static_cast<int>(request.size()));
  EXPECT_EQ(c.ReadAll(), "HTTP/1.1 200 OK\r\n\r\nvar a=1;");
  EXPECT_EQ(peer.Request(), request);
}

TEST(NetSend, PeerThatHasGoneIsAnErrorNotTheEndOfTheProcess) {
  ScriptedPeer peer(Unread({}, 100, /*reset=*/true));
  Client c(peer.port());
  ASSERT_TRUE(c.connected());
  ASSERT_TRUE(peer.WaitForConnections(1, 2000));
  const std::string chunk(1024, 'x');
  int result = 0;
  // The first sends may still be taken in; a later one must fail (on POSIX without SIGPIPE).
  for (int i = 0; i < 200 && result >= 0; ++i) {
    if (net::WaitWritable(c.get(), 1000) != net::Wait::kReady) break;
    result = net::Send(c.get(), chunk.data(), static_cast<int>(chunk.size()));
    if (result >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(result, -1);
  EXPECT_FALSE(net::LastErrorIsTransient());
}

TEST(NetSend, TakesWhatFitsAndNeverWaitsForAPeerThatDoesNotRead) {
  ScriptedPeer peer(Unread({}, 5000));
  Client c(peer.port());
  ASSERT_TRUE(c.connected());
  const std::string chunk(64 * 1024, 'x');
  const std::int64_t start = tw::NowMs();
  long long taken = 0;
  int result = 0;
  for (int i = 0; i < 4000 && result >= 0; ++i) {
    result = net::Send(c.get(), chunk.data(), static_cast<int>(chunk.size()));
    if (result > 0) taken += result;
  }
  EXPECT_EQ(result, -1) << "the buffers never filled after " << taken << " bytes";
  EXPECT_TRUE(net::LastErrorIsTransient()) << net::LastErrorText();
  EXPECT_GT(taken, 0);
  EXPECT_LT(ElapsedSince(start), 3000);
  // With the buffers full, the writability wait is what bounds the sender.
  EXPECT_EQ(net::WaitWritable(c.get(), 200), net::Wait::kTimeout);
}

TEST(NetWait, WorksWithManySocketsOpen) {
  // More sockets than Windows' FD_SETSIZE (64) and than a handful of descriptors: a wait must
  // not depend on how many sockets the process holds or on the value of the one it waits for.
  std::vector<net::Socket> held;
  for (int i = 0; i < 100; ++i) {
    net::Socket s = net::OpenTcp();
    ASSERT_NE(s, net::kInvalidSocket);
    held.push_back(s);
  }
  {
    ScriptedPeer peer(Unread({{"late", 100}}));
    Client c(peer.port());
    ASSERT_TRUE(c.connected());
    EXPECT_EQ(c.ReadAll(), "late");
  }
  for (net::Socket s : held) net::Close(s);
}

TEST(NetClock, IsMonotonicAndCountsMilliseconds) {
  const std::int64_t a = tw::NowMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const std::int64_t b = tw::NowMs();
  EXPECT_GE(b - a, 29);
  EXPECT_LT(b - a, 2000);
}

}  // namespace
