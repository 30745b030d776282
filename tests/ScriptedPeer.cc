#include "tests/ScriptedPeer.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace tiltwise_test {
namespace {

#if defined(_WIN32)
using Sock = SOCKET;
const Sock kNoSocket = INVALID_SOCKET;
void CloseSock(Sock s) {
  ::closesocket(s);
}
int PollOne(Sock s, short events, int ms) {
  WSAPOLLFD p{};
  p.fd = s;
  p.events = events;
  return ::WSAPoll(&p, 1, ms);
}
constexpr int kNoSignal = 0;
void StartSocketLibrary() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}
#else
using Sock = int;
const Sock kNoSocket = -1;
void CloseSock(Sock s) {
  ::close(s);
}
int PollOne(Sock s, short events, int ms) {
  pollfd p{};
  p.fd = s;
  p.events = events;
  return ::poll(&p, 1, ms);
}
constexpr int kNoSignal = MSG_NOSIGNAL;
void StartSocketLibrary() {}
#endif

// Every blocking step waits in slices this long, so a stop request is seen quickly.
constexpr int kSliceMs = 20;
// A client that never finishes its request is given up on after this long.
constexpr int kRequestReadMs = 5000;

Sock ToSock(std::intptr_t s) {
  return static_cast<Sock>(s);
}

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<unsigned short>(port));
  return a;
}

// Binds 127.0.0.1:0 and returns the socket and the port the system chose.
Sock BindAnyPort(int* port) {
  Sock s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s == kNoSocket) return kNoSocket;
  sockaddr_in a = Loopback(0);
  socklen_t len = sizeof a;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    CloseSock(s);
    return kNoSocket;
  }
  *port = ntohs(a.sin_port);
  return s;
}

long long NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ScriptedPeer::ScriptedPeer(Script script) : script_(std::move(script)) {
  StartSocketLibrary();
  Sock s = BindAnyPort(&port_);
  if (s == kNoSocket || ::listen(s, 64) != 0) {
    if (s != kNoSocket) CloseSock(s);
    throw std::runtime_error("ScriptedPeer: cannot listen on 127.0.0.1");
  }
  listener_ = static_cast<std::intptr_t>(s);
  thread_ = std::thread(&ScriptedPeer::Run, this);
}

ScriptedPeer::~ScriptedPeer() {
  stop_ = true;
  thread_.join();
  CloseSock(ToSock(listener_));
}

std::vector<std::string> ScriptedPeer::Targets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return targets_;
}

std::string ScriptedPeer::Request() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return request_;
}

int ScriptedPeer::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

bool ScriptedPeer::WaitForConnections(int count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return served_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return connections_ >= count; });
}

Script ScriptedPeer::AnswerAndClose(std::string reply) {
  Script s;
  s.writes.push_back({std::move(reply), 0});
  return s;
}

Script ScriptedPeer::AnswerAndStaySilent(std::string reply, int silentMs) {
  Script s = AnswerAndClose(std::move(reply));
  s.silentMs = silentMs;
  return s;
}

Script ScriptedPeer::AcceptAndClose() {
  return Script{};
}

Script ScriptedPeer::InPieces(std::vector<std::string> pieces, int pauseMs) {
  Script s;
  for (auto& piece : pieces) s.writes.push_back({std::move(piece), pauseMs});
  return s;
}

bool ScriptedPeer::Sleep(int ms) {
  const long long end = NowMs() + ms;
  for (long long left; (left = end - NowMs()) > 0;) {
    if (stop_) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left, kSliceMs)));
  }
  return !stop_;
}

void ScriptedPeer::Run() {
  const Sock listener = ToSock(listener_);
  while (!stop_) {
    if (PollOne(listener, POLLIN, kSliceMs) <= 0) continue;
    Sock client = ::accept(listener, nullptr, nullptr);
    if (client == kNoSocket) continue;
    Serve(static_cast<std::intptr_t>(client));
  }
}

void ScriptedPeer::Serve(std::intptr_t handle) {
  const Sock client = ToSock(handle);
  // Each scripted write leaves as its own segment, not held back to be merged.
  int one = 1;
  ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);

  const std::vector<Write>* writes = &script_.writes;
  std::vector<Write> answer;
  if (script_.readRequest) {
    std::string got;
    const long long end = NowMs() + kRequestReadMs;
    char buf[4096];
    while (!stop_ && NowMs() < end && got.find("\r\n\r\n") == std::string::npos) {
      if (PollOne(client, POLLIN, kSliceMs) <= 0) continue;
      int n = static_cast<int>(::recv(client, buf, sizeof buf, 0));
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    const size_t from = got.find(' ');
    const size_t to = from == std::string::npos ? from : got.find(' ', from + 1);
    std::string target = to == std::string::npos ? "" : got.substr(from + 1, to - from - 1);
    auto it = script_.answers.find(target);
    if (it != script_.answers.end()) {
      answer.push_back({it->second, 0});
      writes = &answer;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    request_ = std::move(got);
    targets_.push_back(std::move(target));
  }

  bool going = true;
  for (const Write& w : *writes) {
    if (!(going = Sleep(w.pauseBeforeMs))) break;
    size_t done = 0;
    while (done < w.bytes.size()) {
      int n = static_cast<int>(::send(client, w.bytes.data() + done,
                                      static_cast<int>(w.bytes.size() - done), kNoSignal));
      if (n <= 0) break;  // the client has gone; the rest of the script is moot
      done += static_cast<size_t>(n);
    }
  }
  if (going) Sleep(std::min(script_.silentMs, kMaxHoldMs));

  if (script_.reset) {
    linger hard{};
    hard.l_onoff = 1;
    hard.l_linger = 0;
    ::setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  }
  CloseSock(client);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++connections_;
  }
  served_.notify_all();
}

int UnusedLoopbackPort() {
  StartSocketLibrary();
  int port = 0;
  Sock s = BindAnyPort(&port);
  if (s == kNoSocket) throw std::runtime_error("UnusedLoopbackPort: cannot bind 127.0.0.1");
  CloseSock(s);
  return port;
}

RefusingPort::RefusingPort() {
  StartSocketLibrary();
  Sock s = BindAnyPort(&port_);
  if (s == kNoSocket) throw std::runtime_error("RefusingPort: cannot bind 127.0.0.1");
  socket_ = static_cast<std::intptr_t>(s);
}

RefusingPort::~RefusingPort() {
  CloseSock(ToSock(socket_));
}

}  // namespace tiltwise_test
