#include "cgi/CgiCmd.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/IPv4Address.h"
#include "cgi/WaitLimit.h"
#include "tests/ScriptedPeer.h"

#if !defined(_WIN32)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using tiltwise_test::Script;
using tiltwise_test::ScriptedPeer;
using tiltwise_test::UnusedLoopbackPort;

constexpr char kLoopback[] = "127.0.0.1";
// Long enough that returning well before it proves the call did not wait for it.
constexpr int kLongLimitMs = 10000;

// The request exactly as the camera must receive it, given the path and the encoded credentials.
std::string ExpectedRequest(const std::string& path, const std::string& encoded) {
  return "GET " + path +
         " HTTP/1.1\r\n"
         "Accept: */*\r\n"
         "Accept-Language: en-us\r\n"
         "Accept-Encoding: gzip, deflate\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR "
         "2.0.50727)\r\n"
         "Host: 127.0.0.1:80\r\n"
         "Connection: Keep-Alive\r\n"
         "Authorization: Basic " +
         encoded +
         "\r\n"
         "Cache-Control:no-cache\r\n"
         "Connection: close\r\n"
         "\r\n";
}

long long ElapsedMs(const std::function<void()>& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// Bytes that differ from position to position, so a reply cut or shifted anywhere shows.
std::string Patterned(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('A' + (i * 7 + i / 26) % 26);
  return s;
}

const std::string kOkReply =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\nvar flip=\"1\";\r\nvar mirror=\"0\";\r\n";

// Runs one HttpGet against `peer` and returns its result; the request bytes stay in the peer.
int Get(const ScriptedPeer& peer, const CString& path, CString& reply, int limitMs,
        const CString& user = "admin", const CString& password = "quillpen") {
  return CCgiCmd::HttpGet(kLoopback, peer.port(), user, password, path, reply, limitMs);
}

// ---- The request ---------------------------------------------------------------------------

TEST(CgiRequestTest, ReachesTheServerExactlyWithHostFixedWhateverThePort) {
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kOkReply));
  ASSERT_NE(peer.port(), 80);
  CString reply;
  ASSERT_EQ(Get(peer, "/qx.html", reply, kLongLimitMs), 1);
  EXPECT_EQ(peer.Request(), ExpectedRequest("/qx.html", "YWRtaW46cXVpbGxwZW4="));
}

TEST(CgiRequestTest, PathWithQueryAndPercentSignsIsSentUnchanged) {
  // A path used as a format would turn %s or %n into garbage or a crash.
  const char* path = "/param.cgi?cmd=setmotorrange&-flip=1&-mirror=0&x=%s%n%d%20";
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kOkReply));
  CString reply;
  ASSERT_EQ(Get(peer, path, reply, kLongLimitMs), 1);
  EXPECT_EQ(peer.Request(), ExpectedRequest(path, "YWRtaW46cXVpbGxwZW4="));
}

TEST(CgiRequestTest, ReplyNamedAsThePathStillSendsThePath) {
  // Emptying the reply first must not empty a path that is the same text.
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kOkReply));
  CString text = "/qx.html";
  ASSERT_EQ(Get(peer, text, text, kLongLimitMs), 1);
  EXPECT_EQ(peer.Request(), ExpectedRequest("/qx.html", "YWRtaW46cXVpbGxwZW4="));
  EXPECT_EQ(text.str(), kOkReply);
}

TEST(CgiRequestTest, EmptyCredentialsStillSendTheLoneColon) {
  EXPECT_EQ(CCgiCmd::BuildGetRequest("", "", "/qx.html").str(),
            ExpectedRequest("/qx.html", "Og=="));
}

TEST(CgiRequestTest, NinetyTwoCharactersOfCredentialsEncodeTo124AndGoOutWhole) {
  const CString user = "operator.north-wing_07@site";
  const CString password =
      "Gr\xfcn~Z\xe4hler?>!01234567890123456789012345678901234567890123456789a";
  ASSERT_EQ(user.GetLength() + password.GetLength(), 92);
  const std::string encoded =
      "b3BlcmF0b3Iubm9ydGgtd2luZ18wN0BzaXRlOkdy/G5+WuRobGVyPz4hMDEyMzQ1Njc4OTAxMjM0NTY3ODkwMTIzNDU2"
      "Nzg5MDEyMzQ1Njc4OTAxMjM0NTY3ODlh";
  ASSERT_EQ(encoded.size(), 124u);
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kOkReply));
  CString reply;
  ASSERT_EQ(Get(peer, "/qx.html", reply, kLongLimitMs, user, password), 1);
  EXPECT_EQ(peer.Request(), ExpectedRequest("/qx.html", encoded));
}

TEST(CgiRequestTest, CredentialsAndPathsOfAnyLengthAreHeldWhole) {
  // Far beyond any fixed buffer: nothing may be cut, nothing written past an end.
  const std::string user(1500, 'u');
  const std::string password = std::string(1498, 'p') + "!";
  const std::string path = "/" + Patterned(6000);
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kOkReply));
  CString reply;
  ASSERT_EQ(Get(peer, CString(path), reply, kLongLimitMs, CString(user), CString(password)), 1);
  const CString encoded = CCgiCmd::Base64Encode(CString(user + ":" + password));
  EXPECT_EQ(encoded.GetLength(), 4 * 1000);
  EXPECT_EQ(peer.Request(), ExpectedRequest(path, encoded.str()));
}

// ---- Base64 -------------------------------------------------------------------------------

TEST(CgiBase64Test, MatchesTheStandardsTestVectorsInBothForms) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [in, out] : vectors) {
    EXPECT_EQ(CCgiCmd::Base64Encode(CString(in)), out) << in;
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    CCgiCmd::Base64Encode(in, buffer);
    EXPECT_STREQ(buffer, out) << in;
    // Exactly 4 * ceil(n / 3) + 1 bytes are written, not one more.
    EXPECT_EQ(buffer[std::strlen(out) + 1], '#') << in;
  }
}

TEST(CgiBase64Test, BytesAbove127AreUnsignedAndInputEndsAtZeroByte) {
  EXPECT_EQ(CCgiCmd::Base64Encode(CString("\xff\xff\xff")), "////");
  EXPECT_EQ(CCgiCmd::Base64Encode(CString("\xfb\xf0")), "+/A=");
  EXPECT_EQ(CCgiCmd::Base64Encode(CString("ab\0cd", 5)), "YWI=");
}

// ---- Time limits ---------------------------------------------------------------------------

TEST(CgiWaitLimitTest, MillisecondsBecomeSecondsAndMicroseconds) {
  const struct {
    int ms;
    long sec, usec;
  } cases[] = {{1500, 1, 500000}, {3000, 3, 0}, {999, 0, 999000}, {0, 0, 0}};
  for (const auto& c : cases) {
    WaitLimit w = ToWaitLimit(c.ms);
    EXPECT_EQ(w.sec, c.sec) << c.ms;
    EXPECT_EQ(w.usec, c.usec) << c.ms;
    EXPECT_EQ(ToPollMs(w), c.ms);
  }
  // A negative limit stays an invalid wait rather than becoming "wait forever".
  EXPECT_LT(ToPollMs(ToWaitLimit(-1)), 0);
}

// ---- The exchange --------------------------------------------------------------------------

TEST(CgiExchangeTest, ServerThatClosesEndsTheCallWithoutWaitingForTheLimit) {
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kOkReply));
  CString reply;
  int result = 0;
  long long ms = ElapsedMs([&] { result = Get(peer, "/qx.html", reply, kLongLimitMs); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(reply, kOkReply.c_str());
  EXPECT_LT(ms, kLongLimitMs / 2);
}

TEST(CgiExchangeTest, SilentServerEndsTheCallOneLimitAfterItsLastByte) {
  ScriptedPeer peer(ScriptedPeer::AnswerAndStaySilent(kOkReply, 8000));
  CString reply;
  int result = 0;
  long long ms = ElapsedMs([&] { result = Get(peer, "/qx.html", reply, 400); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(reply, kOkReply.c_str());
  EXPECT_GE(ms, 390);
  EXPECT_LT(ms, 6000);  // ended by the limit, not by the server closing at 8 s
}

TEST(CgiExchangeTest, ReplyInPiecesWithPausesArrivesWhole) {
  ScriptedPeer peer(ScriptedPeer::InPieces(
      {"HTTP/1.1 200 OK\r\n", "Content-Type: text/html\r\n\r\n", "var flip=\"1\";"}, 150));
  CString reply;
  ASSERT_EQ(Get(peer, "/qx.html", reply, 3000), 1);
  EXPECT_EQ(reply, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\nvar flip=\"1\";");
}

TEST(CgiExchangeTest, NothingOrNoByteBeforeTheCloseGivesZeroAndEmptyReply) {
  {
    ScriptedPeer peer(ScriptedPeer::AcceptAndClose());
    CString reply = "left over";
    EXPECT_EQ(Get(peer, "/qx.html", reply, kLongLimitMs), 0);
    EXPECT_TRUE(reply.IsEmpty());
  }
  {
    Script silent;
    silent.silentMs = 8000;
    ScriptedPeer peer(silent);
    CString reply = "left over";
    int result = 1;
    long long ms = ElapsedMs([&] { result = Get(peer, "/qx.html", reply, 300); });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(reply.IsEmpty());
    EXPECT_LT(ms, 6000);
  }
  {
    Script reset;
    reset.reset = true;
    ScriptedPeer peer(reset);
    CString reply = "left over";
    EXPECT_EQ(Get(peer, "/qx.html", reply, kLongLimitMs), 0);
    EXPECT_TRUE(reply.IsEmpty());
  }
}

TEST(CgiExchangeTest, OnlyTheFirst2048BytesAreKeptHoweverTheyArrive) {
  const std::string big = Patterned(5000);
  {
    ScriptedPeer peer(ScriptedPeer::AnswerAndClose(big));
    CString reply;
    ASSERT_EQ(Get(peer, "/qx.html", reply, 3000), 1);
    EXPECT_EQ(reply.str(), big.substr(0, 2048));
  }
  {
    // Several reads must fill the buffer one after the other, none over the one before.
    ScriptedPeer peer(ScriptedPeer::InPieces(
        {big.substr(0, 700), big.substr(700, 700), big.substr(1400, 700), big.substr(2100)}, 60));
    CString reply;
    ASSERT_EQ(Get(peer, "/qx.html", reply, 3000), 1);
    EXPECT_EQ(reply.str(), big.substr(0, 2048));
  }
}

TEST(CgiExchangeTest, ZeroByteEndsTheReplyTextButNotTheResult) {
  {
    ScriptedPeer peer(
        ScriptedPeer::AnswerAndClose(std::string("HTTP/1.1 200 OK\r\n\r\nab\0cd", 24)));
    CString reply;
    EXPECT_EQ(Get(peer, "/qx.html", reply, 3000), 1);
    EXPECT_EQ(reply, "HTTP/1.1 200 OK\r\n\r\nab");
  }
  {
    ScriptedPeer peer(ScriptedPeer::AnswerAndClose(std::string("\0HTTP/1.1 200 OK\r\n\r\n", 20)));
    CString reply = "left over";
    EXPECT_EQ(Get(peer, "/qx.html", reply, 3000), 1);
    EXPECT_TRUE(reply.IsEmpty());
  }
}

TEST(CgiExchangeTest, RefusedConnectionFailsAtOnce) {
  CString reply = "left over";
  int result = 1;
  long long ms = ElapsedMs([&] {
    result = CCgiCmd::HttpGet(kLoopback, UnusedLoopbackPort(), "admin", "quillpen", "/qx.html",
                              reply, kLongLimitMs);
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(reply.IsEmpty());
  EXPECT_LT(ms, kLongLimitMs / 2);
}

TEST(CgiExchangeTest, AnythingButTheTypedAddressAndPortFailsWithoutConnecting) {
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kOkReply));
  CString reply;
  // Port + 65536 would wrap to the peer's port if it were truncated to 16 bits.
  EXPECT_EQ(CCgiCmd::HttpGet(kLoopback, peer.port() + 65536, "a", "b", "/", reply, 3000), 0);
  EXPECT_EQ(CCgiCmd::HttpGet(kLoopback, -1, "a", "b", "/", reply, 3000), 0);
  // Each of these would reach 127.0.0.1 or 127.0.0.8 through the system's lenient readers.
  for (const char* address : {"", "camera.local", "127.0.0.1.5", "127.0.0.256", "127.1",
                              "127.0.0.01", "127.0.0.010", "0x7f.0.0.1", "127.0.0.1 x"}) {
    EXPECT_EQ(CCgiCmd::HttpGet(address, peer.port(), "a", "b", "/", reply, 3000), 0) << address;
    const std::string file = "tiltwise-never-created";
    EXPECT_EQ(CCgiCmd::HttpGetToFile(address, peer.port(), "a", "b", "/", file.c_str(), 3000), 0);
  }
  EXPECT_FALSE(peer.WaitForConnections(1, 200));
  // Blanks and tabs around an address come with it from a spreadsheet; only those are passed over.
  for (const char* pasted : {" 127.0.0.1", "127.0.0.1\t", "\t 127.0.0.1  "}) {
    EXPECT_EQ(CCgiCmd::HttpGet(pasted, peer.port(), "a", "b", "/", reply, 3000), 1) << pasted;
  }
  EXPECT_EQ(CCgiCmd::HttpGet("127.0.0. 1", peer.port(), "a", "b", "/", reply, 3000), 0);
  EXPECT_TRUE(peer.WaitForConnections(3, 5000));
  EXPECT_FALSE(peer.WaitForConnections(4, 200));
}

#if !defined(_WIN32)
// A listener whose queue is full drops the handshake, and the client tries again a second
// later: with kDeadline the connection attempt outlasts one wait, as a slow link's would.
TEST(CgiExchangeTest, ConnectionAttemptMayTakeWhatIsLeftOfTheDeadline) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at = {};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  const int port = ntohs(at.sin_port);
  const std::uint32_t loopback = tw::IPv4Address::Parse(kLoopback)->netOrder();
  net::Socket filler = net::OpenTcp();  // takes the one place in the queue
  ASSERT_TRUE(net::ConnectWithin(filler, loopback, port, 3000));
  CString reply;
  EXPECT_EQ(CCgiCmd::HttpGet(kLoopback, port, "a", "b", "/", reply, 300, 5000,
                             CCgiCmd::ConnectLimit::kOneWait),
            0);
  std::thread camera([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::close(::accept(listener, nullptr, nullptr));  // the filler: room for the next handshake
    const int client = ::accept(listener, nullptr, nullptr);
    char request[4096];
    (void)::recv(client, request, sizeof request, 0);
    const char kReply[] = "HTTP/1.1 200 OK\r\n\r\nslow link";
    (void)::send(client, kReply, sizeof kReply - 1, MSG_NOSIGNAL);
    ::close(client);
  });
  int result = 0;
  const long long ms = ElapsedMs([&] {
    result = CCgiCmd::HttpGet(kLoopback, port, "a", "b", "/", reply, 300, 5000,
                              CCgiCmd::ConnectLimit::kDeadline);
  });
  camera.join();
  EXPECT_EQ(result, 1);
  EXPECT_NE(reply.Find("slow link"), -1);
  EXPECT_GT(ms, 300) << "the handshake was answered at once: nothing was tested";
  net::Close(filler);
  ::close(listener);
}
#endif

TEST(CgiExchangeTest, OverallDeadlineStopsAServerThatTricklesBytes) {
  std::vector<std::string> drops(100, "x");
  ScriptedPeer peer(ScriptedPeer::InPieces(drops, 100));  // ten seconds of drips
  CString reply;
  int result = 0;
  long long ms = ElapsedMs(
      [&] { result = CCgiCmd::HttpGet(kLoopback, peer.port(), "a", "b", "/", reply, 2000, 600); });
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(reply.IsEmpty());
  EXPECT_LT(reply.GetLength(), 100);
  EXPECT_LT(ms, 3000);
}

TEST(CgiExchangeTest, RequestLargerThanTheSocketBuffersCannotHangOnAPeerThatNeverReads) {
  Script deaf;
  deaf.readRequest = false;
  deaf.silentMs = 8000;
  ScriptedPeer peer(deaf);
  const CString path("/" + std::string(16 << 20, 'a'));
  CString reply;
  int result = 1;
  long long ms = ElapsedMs([&] { result = Get(peer, path, reply, 300); });
  EXPECT_EQ(result, 0);
  EXPECT_LT(ms, 6000);
}

// ---- SendWithTimeout ------------------------------------------------------------------------

// A connected client socket to `peer`, or kInvalidSocket.
net::Socket ConnectTo(const ScriptedPeer& peer) {
  const std::uint32_t address = tw::IPv4Address::Parse(kLoopback)->netOrder();
  net::Socket s = net::OpenTcp();
  if (s != net::kInvalidSocket && !net::ConnectWithin(s, address, peer.port(), 3000)) {
    net::Close(s);
    return net::kInvalidSocket;
  }
  return s;
}

TEST(CgiSendTest, NothingToSendReturnsAtOnceWithoutTouchingTheSocket) {
  // Any wait on an invalid socket would fail, so 0 proves none was made.
  EXPECT_EQ(CCgiCmd::SendWithTimeout(net::kInvalidSocket, "x", 0, kLongLimitMs), 0);
  EXPECT_EQ(CCgiCmd::SendWithTimeout(net::kInvalidSocket, "x", -5, kLongLimitMs), 0);
  EXPECT_EQ(CCgiCmd::SendWithTimeout(net::kInvalidSocket, "x", 1, 100), -1);
}

TEST(CgiSendTest, InvalidSocketFailsAtOnceInsteadOfWaitingOutTheLimit) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CCgiCmd::SendWithTimeout(net::kInvalidSocket, "x", 1, kLongLimitMs), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kLongLimitMs / 2));
}

TEST(CgiSendTest, PeerThatHasGoneGivesMinusOneAndNoSignal) {
#if !defined(_WIN32)
  // Writing to a closed connection raises SIGPIPE, whose default action ends the process.
  struct sigaction previous {};
  struct sigaction fatal {};
  fatal.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &fatal, &previous);
#endif
  Script gone;
  gone.readRequest = false;
  ScriptedPeer peer(gone);
  net::Socket s = ConnectTo(peer);
  ASSERT_NE(s, net::kInvalidSocket);
  ASSERT_TRUE(peer.WaitForConnections(1, 5000));
  const std::string lots(8 << 20, 'z');
  EXPECT_EQ(CCgiCmd::SendWithTimeout(s, lots.data(), static_cast<int>(lots.size()), 2000), -1);
  net::Close(s);
#if !defined(_WIN32)
  sigaction(SIGPIPE, &previous, nullptr);
#endif
}

#if !defined(_WIN32)
// Raises the soft descriptor limit to at least `wanted`; false when the hard limit forbids it.
bool AllowDescriptors(rlim_t wanted) {
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) != 0) return false;
  if (r.rlim_cur >= wanted) return true;
  if (r.rlim_max != RLIM_INFINITY && r.rlim_max < wanted) return false;
  r.rlim_cur = wanted;
  return setrlimit(RLIMIT_NOFILE, &r) == 0;
}

TEST(CgiSendTest, DescriptorNumbersAboveFdSetSizeWork) {
  constexpr int kHigh = 1500;
  static_assert(kHigh > FD_SETSIZE, "the point is a descriptor select cannot hold");
  if (!AllowDescriptors(kHigh + 64)) GTEST_SKIP() << "descriptor limit below " << kHigh + 64;

  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kOkReply));
  net::Socket low = ConnectTo(peer);
  ASSERT_NE(low, net::kInvalidSocket);
  ASSERT_EQ(dup2(low, kHigh), kHigh);
  net::Close(low);
  const CString request = CCgiCmd::BuildGetRequest("admin", "quillpen", "/qx.html");
  EXPECT_EQ(CCgiCmd::SendWithTimeout(kHigh, request, request.GetLength(), 3000), 0);
  ASSERT_EQ(net::WaitReadable(kHigh, 3000), net::Wait::kReady);
  char buffer[256] = {};
  EXPECT_GT(net::Recv(kHigh, buffer, sizeof buffer - 1), 0);
  EXPECT_EQ(peer.Request(), request.str());
  net::Close(kHigh);

  // The whole exchange, when every low descriptor is taken.
  std::vector<int> filler;
  for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0 && fd < 1100;) filler.push_back(fd);
  CString reply;
  int result = Get(peer, "/qx.html", reply, 3000);
  for (int fd : filler) close(fd);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(reply, kOkReply.c_str());
}
#else
TEST(CgiSendTest, DescriptorNumbersAboveFdSetSizeWork) {
  GTEST_SKIP() << "POSIX descriptors only; NetWait.WorksWithManySocketsOpen covers Windows";
}
#endif

// ---- Script-variable readers ---------------------------------------------------------------

TEST(CgiVarReaderTest, OneSpaceOnEachSideOfTheEqualsSignIsDropped) {
  for (const char* text :
       {"var flip=\"1\";", "var flip = \"1\";", "var flip =\"1\";", "var flip= \"1\";"}) {
    EXPECT_EQ(CCgiCmd::GetVarString(text, "flip", 0), "1") << text;
  }
  // One space survives each side, so neither pattern occurs.
  EXPECT_EQ(CCgiCmd::GetVarString("var flip  =  \"1\";", "flip", 0), "");
  // The quoted pattern fails; the bare one takes everything up to the ";".
  EXPECT_EQ(CCgiCmd::GetVarString("var flip=  \"1\";", "flip", 0), " \"1\"");
  // Values are normalised too.
  EXPECT_EQ(CCgiCmd::GetVarString("var x=\"a = b\";", "x", 0), "a=b");
}

TEST(CgiVarReaderTest, KeywordAndBareKeyMatching) {
  EXPECT_EQ(CCgiCmd::GetVarString("flip=\"1\";", "flip", 0), "");
  EXPECT_EQ(CCgiCmd::GetVarString("flip=\"1\";", "flip", 1), "1");
  // The bare key also matches the end of a longer name; the first occurrence wins.
  EXPECT_EQ(CCgiCmd::GetVarString("var hflip=\"0\"; var flip=\"1\";", "flip", 1), "0");
  EXPECT_EQ(CCgiCmd::GetVarString("var hflip=\"0\"; var flip=\"1\";", "flip", 0), "1");
  EXPECT_EQ(CCgiCmd::GetVarString("var flip2=\"5\"; var flip=\"1\";", "flip", 0), "1");
  EXPECT_EQ(CCgiCmd::GetVarString("var Flip=\"1\";", "flip", 0), "");
  // The fallback to an unquoted value always uses the keyword.
  EXPECT_EQ(CCgiCmd::GetVarString("flip=1;", "flip", 1), "");
  EXPECT_EQ(CCgiCmd::GetVarString("var flip=1;", "flip", 1), "1");
}

TEST(CgiVarReaderTest, DoubleQuotedValueEndsAtTheFirstQuoteSemicolonAnywhereAfterIt) {
  EXPECT_EQ(CCgiCmd::GetVarString("var flip=\"\";", "flip", 0), "");
  EXPECT_EQ(CCgiCmd::GetVarString("var flip=\"1", "flip", 0), "");
  EXPECT_EQ(CCgiCmd::GetVarString("var flip=\"1\"", "flip", 0), "1");
  EXPECT_EQ(CCgiCmd::GetVarString("var flip=\"1\"\r\nvar mirror=\"0\";\r\n", "flip", 0),
            "1\"\r\nvar mirror=\"0");
  EXPECT_EQ(CCgiCmd::GetVarString("var flip=1;", "flip", 0), "1");
  EXPECT_EQ(CCgiCmd::GetVarString("var flip=1", "flip", 0), "");
}

TEST(CgiVarReaderTest, SingleQuotedAndUnquotedValues) {
  EXPECT_EQ(CCgiCmd::GetVarSqString("var name='a';", "name", 0), "a");
  EXPECT_EQ(CCgiCmd::GetVarSqString("var name='it's';", "name", 0), "it's");
  EXPECT_EQ(CCgiCmd::GetVarSqString("var name='a'", "name", 0), "");
  EXPECT_EQ(CCgiCmd::GetVarSqString("var name=5;", "name", 0), "5");
  EXPECT_EQ(CCgiCmd::GetVarSqString("name='a';", "name", 1), "a");
  EXPECT_EQ(CCgiCmd::GetVarValue("var n=5;", "n", 0), "5");
  EXPECT_EQ(CCgiCmd::GetVarValue("var n=\"5\";", "n", 0), "\"5\"");
  EXPECT_EQ(CCgiCmd::GetVarValue("n=5;", "n", 0), "");
  EXPECT_EQ(CCgiCmd::GetVarValue("n=5;", "n", 1), "5");
  EXPECT_EQ(CCgiCmd::GetVarValue("var n=5", "n", 0), "");
}

TEST(CgiVarReaderTest, IntegersAreReadTheWayAtoiReadsThem) {
  EXPECT_EQ(CCgiCmd::GetVarInt("var chip_type=71;", "chip_type", 0), 71);
  EXPECT_EQ(CCgiCmd::GetVarInt("var chip_type=\"71\";", "chip_type", 0), 0);
  EXPECT_EQ(CCgiCmd::GetVarStringInt("var chip_type=\"71\";", "chip_type", 0), 71);
  EXPECT_EQ(CCgiCmd::GetVarInt("var chip_type=71abc;", "chip_type", 0), 71);
  EXPECT_EQ(CCgiCmd::GetVarInt("var chip_type=;", "chip_type", 0), 0);
  EXPECT_EQ(CCgiCmd::GetVarInt("var other=71;", "chip_type", 0), 0);
  EXPECT_EQ(CCgiCmd::GetVarInt("var n=\t-12;", "n", 0), -12);
  EXPECT_EQ(CCgiCmd::GetVarInt("var n=+7;", "n", 0), 7);
  EXPECT_EQ(CCgiCmd::GetVarInt("var n=0x1F;", "n", 0), 0);
  EXPECT_EQ(CCgiCmd::GetVarStringInt("var n=\" 42 \";", "n", 0), 42);
  // Out of range: the nearest value, never undefined behaviour.
  EXPECT_EQ(CCgiCmd::GetVarInt("var n=99999999999;", "n", 0), 2147483647);
  EXPECT_EQ(CCgiCmd::GetVarInt("var n=-99999999999;", "n", 0), -2147483647 - 1);
}

TEST(CgiVarReaderTest, OneReplyServesSeveralReadsAndIsNotChanged) {
  const CString reply =
      "HTTP/1.1 200 OK\r\nServer: camera\r\nContent-Type: text/html\r\n\r\n"
      "var chip_type = 71;\r\nvar flip=\"1\";\r\nvar mirror=\"0\";\r\n";
  const CString before = reply;
  EXPECT_EQ(CCgiCmd::GetVarInt(reply, "chip_type", 0), 71);
  EXPECT_EQ(CCgiCmd::GetVarString(reply, "flip", 0), "1");
  EXPECT_EQ(CCgiCmd::GetVarString(reply, "mirror", 0), "0");
  EXPECT_EQ(reply, before);
}

// ---- Download to a file ----------------------------------------------------------------------

// A fresh directory for one test's files, removed with everything in it afterwards.
class TempDir {
 public:
  TempDir() {
    static int serial = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("tiltwise-cgi-" + std::to_string(stamp) + "-" + std::to_string(++serial));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const char* name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::string kHeader = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n";

int Download(const ScriptedPeer& peer, const std::string& file, int limitMs = 3000) {
  return CCgiCmd::HttpGetToFile(kLoopback, peer.port(), "admin", "quillpen", "/snap.jpg",
                                CString(file), limitMs);
}

TEST(CgiDownloadTest, SendsTheSameRequestAndEmptyBodyGivesAnEmptyFile) {
  TempDir dir;
  const std::string file = dir.File("empty");
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kHeader));
  ASSERT_EQ(Download(peer, file), 1);
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(std::filesystem::file_size(file), 0u);
  EXPECT_EQ(peer.Request(), ExpectedRequest("/snap.jpg", "YWRtaW46cXVpbGxwZW4="));
}

TEST(CgiDownloadTest, HeaderEndSplitAcrossReadsLeavesOnlyTheBody) {
  const std::string marker = "\r\n\r\n";
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain";
  for (size_t cut = 1; cut < marker.size(); ++cut) {
    TempDir dir;
    const std::string file = dir.File("split");
    ScriptedPeer peer(ScriptedPeer::InPieces(
        {head + marker.substr(0, cut), marker.substr(cut) + "body\r\n\r\nmore"}, 150));
    ASSERT_EQ(Download(peer, file), 1) << cut;
    EXPECT_EQ(ReadFile(file), "body\r\n\r\nmore") << cut;
  }
}

TEST(CgiDownloadTest, HeaderLongerThanAReadIsNotStored) {
  TempDir dir;
  const std::string file = dir.File("long-header");
  std::string header = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; header.size() < 7000; ++i)
    header += "X-Filler-" + std::to_string(i) + ": abc\r\n";
  ScriptedPeer peer(ScriptedPeer::InPieces({header, "\r\npayload"}, 100));
  ASSERT_EQ(Download(peer, file), 1);
  EXPECT_EQ(ReadFile(file), "payload");
}

// Nothing of such a reply was a header, so nothing of it may be lost.
TEST(CgiDownloadTest, ReplyWhoseHeaderNeverEndsIsStoredWhole) {
  std::string bareLf = "HTTP/1.1 200 OK\nContent-Type: text/plain\n\n";
  while (bareLf.size() < 840) bareLf += "line of the body\n";
  for (const std::string& reply : {bareLf, std::string("no header at all")}) {
    TempDir dir;
    const std::string file = dir.File("headerless");
    const size_t half = reply.size() / 2;
    ScriptedPeer peer(ScriptedPeer::InPieces({reply.substr(0, half), reply.substr(half)}, 50));
    ASSERT_EQ(Download(peer, file), 1);
    EXPECT_EQ(ReadFile(file), reply);
  }
}

TEST(CgiDownloadTest, LargeBinaryBodyArrivesWholeAndExact) {
  TempDir dir;
  const std::string file = dir.File("large");
  std::string body;
  unsigned state = 12345;
  for (int i = 0; i < 300000; ++i) {
    state = state * 1103515245u + 12345u;
    body += static_cast<char>(state >> 24);
  }
  body.replace(1000, 4, "\r\n\r\n");  // a blank line in the body is body
  body[3000] = '\0';
  ScriptedPeer peer(
      ScriptedPeer::InPieces({kHeader + body.substr(0, 5000), body.substr(5000)}, 50));
  ASSERT_EQ(Download(peer, file), 1);
  EXPECT_TRUE(ReadFile(file) == body) << "the stored body differs";
}

TEST(CgiDownloadTest, ServerThatClosesEndsTheDownloadWithoutWaitingForTheLimit) {
  TempDir dir;
  const std::string file = dir.File("quick");
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kHeader + "abc"));
  int result = 0;
  long long ms = ElapsedMs([&] { result = Download(peer, file, kLongLimitMs); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(ReadFile(file), "abc");
  EXPECT_LT(ms, kLongLimitMs / 2);
}

TEST(CgiDownloadTest, FileThatCannotBeCreatedStopsAtOnceLeavingNothing) {
  TempDir dir;
  const std::string missing = (dir.path() / "no-such-dir" / "file").string();
  for (const std::string& name : {missing, dir.path().string(), std::string()}) {
    ScriptedPeer peer(ScriptedPeer::AnswerAndStaySilent(kHeader + "abc", 8000));
    int result = 1;
    long long ms = ElapsedMs([&] { result = Download(peer, name, kLongLimitMs); });
    EXPECT_EQ(result, 0) << name;
    EXPECT_LT(ms, kLongLimitMs / 2) << name;  // did not keep reading for nothing
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-dir"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(CgiDownloadTest, NoReplyCreatesNoFileAndAnExistingFileIsEmptiedFirst) {
  TempDir dir;
  const std::string file = dir.File("target");
  {
    ScriptedPeer peer(ScriptedPeer::AcceptAndClose());
    EXPECT_EQ(Download(peer, file), 0);
    EXPECT_FALSE(std::filesystem::exists(file));
  }
  EXPECT_EQ(CCgiCmd::HttpGetToFile(kLoopback, UnusedLoopbackPort(), "a", "b", "/", CString(file),
                                   kLongLimitMs),
            0);
  EXPECT_FALSE(std::filesystem::exists(file));
  std::ofstream(file) << "an older and much longer content";
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kHeader + "new"));
  ASSERT_EQ(Download(peer, file), 1);
  EXPECT_EQ(ReadFile(file), "new");
}

#if !defined(_WIN32)
TEST(CgiDownloadTest, FullDiskIsAFailureNotASuccess) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "/dev/full is not available";
  ScriptedPeer peer(ScriptedPeer::AnswerAndClose(kHeader + std::string(10000, 'd')));
  EXPECT_EQ(Download(peer, "/dev/full"), 0);
}
#else
TEST(CgiDownloadTest, FullDiskIsAFailureNotASuccess) {
  GTEST_SKIP() << "needs /dev/full";
}
#endif

// ---- UrlEncode ---------------------------------------------------------------------------------

TEST(CgiUrlEncodeTest, EightCharactersAreEncodedAndPercentSignsOnlyOnce) {
  EXPECT_EQ(CCgiCmd::UrlEncode("a b/c?d=e&f#g+h%i"), "a%20b%2Fc%3Fd%3De%26f%23g%2Bh%25i");
  EXPECT_EQ(CCgiCmd::UrlEncode("100% /"), "100%25%20%2F");
  EXPECT_EQ(CCgiCmd::UrlEncode("%20"), "%2520");  // already encoded text is encoded again
  const char* untouched = "abc-_.~!*'();:@$,[]\t\x01\xe9";
  EXPECT_EQ(CCgiCmd::UrlEncode(untouched), untouched);
  EXPECT_EQ(CCgiCmd::UrlEncode(""), "");
}

// ---- XML readers --------------------------------------------------------------------------------

TEST(CgiXmlAttrTest, TagNeedsItsSpaceAndTheAttributeItsQuotes) {
  const CString camera = "<camera name=\"x\" id=\"7\">";
  EXPECT_EQ(CCgiCmd::GetXmlAttr(camera, "camera", "id"), "7");
  EXPECT_EQ(CCgiCmd::GetXmlAttr(camera, "camera", "name"), "x");
  EXPECT_EQ(CCgiCmd::GetXmlAttrInt(camera, "camera", "id"), 7);
  for (const char* text : {"<camera>", "<camera/>", "<camera\nid=\"1\">", "<cameras id=\"1\">"}) {
    EXPECT_EQ(CCgiCmd::GetXmlAttr(text, "camera", "id"), "") << text;
  }
  for (const char* text : {"<c xid=\"5\">", "<c id='7'>", "<c id = \"7\">", "<c id=7>"}) {
    EXPECT_EQ(CCgiCmd::GetXmlAttr(text, "c", "id"), "") << text;
  }
  EXPECT_EQ(CCgiCmd::GetXmlAttr("<c xid=\"5\" id=\"6\">", "c", "id"), "6");
}

TEST(CgiXmlAttrTest, SearchRunsPastTheTagAndTakesValuesAsTheyAre) {
  EXPECT_EQ(CCgiCmd::GetXmlAttr("<a x=\"1\"/><b y=\"2\"/>", "a", "y"), "2");
  EXPECT_EQ(CCgiCmd::GetXmlAttr("<b y=\"0\"/><a x=\"1\"/>", "a", "y"), "");
  EXPECT_EQ(CCgiCmd::GetXmlAttr("<c id=\"a&amp;b\">", "c", "id"), "a&amp;b");
  EXPECT_EQ(CCgiCmd::GetXmlAttr("<c id=\"\">", "c", "id"), "");
  EXPECT_EQ(CCgiCmd::GetXmlAttr("<c id=\"open", "c", "id"), "");
  EXPECT_EQ(CCgiCmd::GetXmlAttrInt("<c n=\"-3\">", "c", "n"), -3);
  EXPECT_EQ(CCgiCmd::GetXmlAttrInt("<c n=\"x3\">", "c", "n"), 0);
}

TEST(CgiXmlElementTest, TextBetweenTheFirstOpeningAndTheNextClosingPattern) {
  EXPECT_EQ(CCgiCmd::GetXmlElement("<a><b>v</b></a>", "a", ""), "<b>v</b>");
  EXPECT_EQ(CCgiCmd::GetXmlElement("<a><a>x</a></a>", "a", ""), "<a>x");
  EXPECT_EQ(CCgiCmd::GetXmlElement("<a>1</a><a>2</a>", "a", ""), "1");
  EXPECT_EQ(CCgiCmd::GetXmlElement("<a>\r\n line\r\n</a>", "a", ""), "\r\n line\r\n");
  EXPECT_EQ(CCgiCmd::GetXmlElement("<a></a>", "a", ""), "");
  EXPECT_EQ(CCgiCmd::GetXmlElement("<a>never closed", "a", ""), "");
  EXPECT_EQ(CCgiCmd::GetXmlElement("</a>x<a>", "a", ""), "");
  EXPECT_EQ(CCgiCmd::GetXmlElement("<ab>1</ab><a>2</a>", "a", ""), "2");
}

TEST(CgiXmlElementTest, TypedInnerElements) {
  EXPECT_EQ(CCgiCmd::GetXmlInt("<state><int>3</int></state>", "state"), 3);
  EXPECT_EQ(CCgiCmd::GetXmlInt("<state><int> 3 </int></state>", "state"), 3);
  EXPECT_EQ(CCgiCmd::GetXmlInt("<state> <int>3</int> </state>", "state"), 0);
  EXPECT_EQ(CCgiCmd::GetXmlInt("<state id=\"1\"><int>3</int></state>", "state"), 0);
  EXPECT_EQ(CCgiCmd::GetXmlString("<name><string>abc</string></name>", "name"), "abc");
  EXPECT_EQ(CCgiCmd::GetXmlString("<name><int>4</int></name>", "name"), "");
  // The inner closing tag comes first in the closing pattern.
  EXPECT_EQ(CCgiCmd::GetXmlElement("<s><int>3</s></int>", "s", "int"), "");
  EXPECT_EQ(CCgiCmd::GetXmlElement("<s><int>3</int></s>", "s", "int"), "3");
}

TEST(CgiXmlElementTest, LongNamesAreMatchedWhole) {
  // No fixed pattern buffer: names that agree in their first 63 characters stay apart.
  const CString stem(std::string(70, 'n'));
  const CString text = "<" + stem + "B>wrong</" + stem + "B><" + stem + "A>right</" + stem + "A>";
  EXPECT_EQ(CCgiCmd::GetXmlElement(text, stem + "A", ""), "right");
  EXPECT_EQ(CCgiCmd::GetXmlAttr("<" + stem + "A " + stem + "x=\"1\" " + stem + "y=\"2\">",
                                stem + "A", stem + "y"),
            "2");
}

// ---- A real web server with Basic authentication --------------------------------------------

#if !defined(_WIN32)
// Runs `argv` and waits for it; true when it exited with status 0.
bool RunTool(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// nginx in the foreground, single process, on a loopback port, everything in a temporary
// directory that is removed afterwards.
class Nginx {
 public:
  static constexpr const char* kBinary = "/usr/sbin/nginx";

  ~Nginx() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i) usleep(50000);
      if (waitpid(pid_, &status, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
      }
    }
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // Serves `body` as /qx.html to `user` with `password` only. On failure says why.
  bool Start(const std::string& user, const std::string& password, const std::string& body,
             std::string* why) {
    char pattern[] = "/tmp/tiltwise-nginx-XXXXXX";
    if (!mkdtemp(pattern)) return Fail("mkdtemp failed", why);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/www");
    std::filesystem::create_directories(dir_ + "/tmp");
    std::ofstream(dir_ + "/www/qx.html") << body;
    const std::string users = dir_ + "/htpasswd";
    if (access("/usr/bin/htpasswd", X_OK) != 0 ||
        !RunTool({"/usr/bin/htpasswd", "-b", "-c", "-m", users, user, password})) {
      std::ofstream(users) << user << ":{PLAIN}" << password << "\n";
    }
    port_ = UnusedLoopbackPort();
    std::ofstream(dir_ + "/nginx.conf")
        << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
        << "pid " << dir_ << "/nginx.pid;\nerror_log " << dir_ << "/error.log;\n"
        << "events { worker_connections 32; }\n"
        << "http {\n  access_log off;\n  default_type text/html;\n"
        << "  client_body_temp_path " << dir_ << "/tmp/body;\n"
        << "  proxy_temp_path " << dir_ << "/tmp/proxy;\n"
        << "  fastcgi_temp_path " << dir_ << "/tmp/fastcgi;\n"
        << "  uwsgi_temp_path " << dir_ << "/tmp/uwsgi;\n"
        << "  scgi_temp_path " << dir_ << "/tmp/scgi;\n"
        << "  server {\n    listen 127.0.0.1:" << port_ << ";\n    root " << dir_ << "/www;\n"
        << "    location / {\n      auth_basic \"camera\";\n"
        << "      auth_basic_user_file " << users << ";\n    }\n  }\n}\n";

    std::vector<std::string> argv = {
        kBinary, "-p", dir_, "-c", dir_ + "/nginx.conf", "-e", dir_ + "/error.log"};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    if (posix_spawn(&pid_, kBinary, nullptr, nullptr, args.data(), environ) != 0) {
      pid_ = 0;
      return Fail("cannot start nginx", why);
    }
    // Ready once it accepts a connection; give up after five seconds.
    const std::uint32_t address = tw::IPv4Address::Parse(kLoopback)->netOrder();
    for (int i = 0; i < 100; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        return Fail("nginx exited: " + ErrorLog(), why);
      }
      net::Socket s = net::OpenTcp();
      bool up = net::ConnectWithin(s, address, port_, 200);
      net::Close(s);
      if (up) return true;
      usleep(50000);
    }
    return Fail("nginx did not listen: " + ErrorLog(), why);
  }

  int port() const { return port_; }

 private:
  bool Fail(const std::string& reason, std::string* why) {
    *why = reason;
    return false;
  }
  std::string ErrorLog() const {
    std::ifstream in(dir_ + "/error.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string dir_;
  pid_t pid_ = 0;
  int port_ = 0;
};

TEST(CgiRealServerTest, NginxAcceptsTheCredentialsAndRefusesWrongOnes) {
  if (access(Nginx::kBinary, X_OK) != 0) GTEST_SKIP() << Nginx::kBinary << " is not installed";
  Nginx server;
  std::string why;
  // A colon in the password: only the first one separates user from password.
  ASSERT_TRUE(server.Start("admin", "pass:word", "var chip_type=71;\r\n", &why)) << why;

  CString reply;
  ASSERT_EQ(CCgiCmd::HttpGet(kLoopback, server.port(), "admin", "pass:word",
                             "/qx.html?cmd=getmotorrange", reply, 3000),
            1);
  EXPECT_EQ(reply.Find("HTTP/1.1 200 OK"), 0) << reply;
  EXPECT_EQ(CCgiCmd::GetVarInt(reply, "chip_type", 0), 71);

  ASSERT_EQ(
      CCgiCmd::HttpGet(kLoopback, server.port(), "admin", "password", "/qx.html", reply, 3000), 1);
  EXPECT_EQ(reply.Find("HTTP/1.1 401"), 0) << reply;
  EXPECT_EQ(CCgiCmd::GetVarInt(reply, "chip_type", 0), 0);
}
#else
TEST(CgiRealServerTest, NginxAcceptsTheCredentialsAndRefusesWrongOnes) {
  GTEST_SKIP() << "starts nginx with POSIX calls; scripts/wine-e2e.sh uses a native server";
}
#endif

}  // namespace
