// Windows Sockets 2 behind cgi/net.h.
// clang-format off
#include <winsock2.h>  // before <windows.h>, which would bring in the old Winsock 1 header
#include <windows.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "base/Clock.h"
#include "cgi/net.h"

namespace net {
namespace {

static_assert(sizeof(Socket) == sizeof(SOCKET), "net::Socket must hold a SOCKET");

enum class Interest { kRead, kWrite, kConnect };

// select, not WSAPoll: WSAPoll does not report a failed non-blocking connect on older systems.
// Windows' fd_set is a list of handles, so any SOCKET value fits. Waits are resumed with the
// time left after WSAEINTR and after a time-out that fires early on a coarse system timer.
Wait SelectFor(Socket s, Interest interest, int timeoutMs) {
  if (timeoutMs < 0) return Wait::kError;
  const SOCKET sock = static_cast<SOCKET>(s);
  const std::int64_t deadline = tw::NowMs() + timeoutMs;
  for (;;) {
    fd_set primary;
    fd_set failed;
    FD_ZERO(&primary);
    FD_ZERO(&failed);
    FD_SET(sock, &primary);
    FD_SET(sock, &failed);
    std::int64_t left = deadline - tw::NowMs();
    if (left < 0) left = 0;
    timeval tv;
    tv.tv_sec = static_cast<long>(left / 1000);
    tv.tv_usec = static_cast<long>((left % 1000) * 1000);
    // Only a connect wants the exception set: that is where a failed attempt shows. Elsewhere
    // it would report urgent data, after which a blocking recv could hang.
    fd_set* readSet = interest == Interest::kRead ? &primary : nullptr;
    fd_set* writeSet = interest == Interest::kRead ? nullptr : &primary;
    fd_set* exceptSet = interest == Interest::kConnect ? &failed : nullptr;
    int r = ::select(0, readSet, writeSet, exceptSet, &tv);
    if (r > 0) {
      if (exceptSet && FD_ISSET(sock, exceptSet)) return Wait::kReady;  // caller reads SO_ERROR
      return FD_ISSET(sock, &primary) ? Wait::kReady : Wait::kError;
    }
    if (r == 0) {
      if (tw::NowMs() >= deadline) {
        ::WSASetLastError(WSAETIMEDOUT);
        return Wait::kTimeout;
      }
      continue;
    }
    if (::WSAGetLastError() != WSAEINTR) return Wait::kError;
  }
}

bool SetNonBlocking(Socket s, bool on) {
  u_long mode = on ? 1 : 0;
  return ::ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &mode) == 0;
}

// An fd_set sized for any count: Windows reads fd_count and that many handles, whatever
// FD_SETSIZE says.
class SocketSet {
 public:
  explicit SocketSet(std::size_t capacity) : words_(capacity + 1) {}
  fd_set* get() { return reinterpret_cast<fd_set*>(words_.data()); }
  void Add(SOCKET s) { words_[1 + get()->fd_count++] = s; }
  std::vector<SOCKET> Members() {
    std::vector<SOCKET> out(words_.begin() + 1, words_.begin() + 1 + get()->fd_count);
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  static_assert(offsetof(fd_set, fd_array) == sizeof(SOCKET), "fd_set layout");
  std::vector<SOCKET> words_;  // [0] holds fd_count, the handles follow
};

}  // namespace

const Socket kInvalidSocket = INVALID_SOCKET;

bool Startup() {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  if (data.wVersion != MAKEWORD(2, 2)) {
    ::WSACleanup();
    return false;
  }
  return true;
}

void Cleanup() {
  ::WSACleanup();
}

Socket OpenTcp() {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return kInvalidSocket;
  // A child process must not inherit the connection (the counterpart of FD_CLOEXEC).
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<Socket>(s);
}

void Close(Socket s) {
  if (s != kInvalidSocket) ::closesocket(static_cast<SOCKET>(s));
}

bool ConnectWithin(Socket s, std::uint32_t addressNetOrder, int port, int timeoutMs) {
  const SOCKET sock = static_cast<SOCKET>(s);
  sockaddr_in addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = addressNetOrder;
  addr.sin_port = ::htons(static_cast<u_short>(port));
  if (!SetNonBlocking(s, true)) return false;
  if (::connect(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR) {
    int e = ::WSAGetLastError();
    if (e != WSAEWOULDBLOCK && e != WSAEINPROGRESS && e != WSAEINTR) return false;
    if (SelectFor(s, Interest::kConnect, timeoutMs) != Wait::kReady) return false;
    int err = 0;
    int len = sizeof err;
    if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) {
      return false;
    }
    if (err != 0) {
      ::WSASetLastError(err);
      return false;
    }
  }
  return SetNonBlocking(s, false);
}

Wait WaitReadable(Socket s, int timeoutMs) {
  return SelectFor(s, Interest::kRead, timeoutMs);
}
Wait WaitWritable(Socket s, int timeoutMs) {
  return SelectFor(s, Interest::kWrite, timeoutMs);
}

// Windows has no per-call MSG_DONTWAIT: the socket is non-blocking just for this send, so a
// peer that stops reading cannot hold it beyond the caller's writability wait.
int Send(Socket s, const char* data, int length) {
  if (!SetNonBlocking(s, true)) return -1;
  int r = ::send(static_cast<SOCKET>(s), data, length, 0);
  const int e = ::WSAGetLastError();
  SetNonBlocking(s, false);
  if (r == SOCKET_ERROR) {
    ::WSASetLastError(e);
    return -1;
  }
  return r;
}

int Recv(Socket s, char* buffer, int capacity) {
  int r = ::recv(static_cast<SOCKET>(s), buffer, capacity, 0);
  return r == SOCKET_ERROR ? -1 : r;
}

bool LastErrorIsLocalLimit() {
  const int e = ::WSAGetLastError();
  return e == WSAEMFILE || e == WSAENOBUFS;
}

bool LastErrorIsTransient() {
  int e = ::WSAGetLastError();
  return e == WSAEWOULDBLOCK || e == WSAEINTR;
}

std::string LastErrorText() {
  const int e = ::WSAGetLastError();
  char text[512] = {};
  DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, static_cast<DWORD>(e), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text,
      nullptr);
  while (n > 0 &&
         (text[n - 1] == ' ' || text[n - 1] == '.' || text[n - 1] == '\r' || text[n - 1] == '\n')) {
    text[--n] = '\0';
  }
  std::string number = "(WSA error " + std::to_string(e) + ")";
  std::string result =
      n > 0 ? std::string(text, n) + " " + number : "Windows Sockets error " + number;
  ::WSASetLastError(e);  // formatting must not disturb the error it reports
  return result;
}

long RaiseOpenFileLimit() {
  return 1L << 16;  // sockets are handles here, with no per-process limit to raise
}

Connect StartConnect(std::uint32_t addressNetOrder, int port, Socket* s) {
  *s = kInvalidSocket;
  Socket sock = OpenTcp();
  if (sock == kInvalidSocket) return Connect::kFailed;
  if (!SetNonBlocking(sock, true)) {
    Close(sock);
    return Connect::kFailed;
  }
  sockaddr_in addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = addressNetOrder;
  addr.sin_port = ::htons(static_cast<u_short>(port));
  if (::connect(static_cast<SOCKET>(sock), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) ==
      0) {
    *s = sock;
    return Connect::kConnected;
  }
  const int e = ::WSAGetLastError();
  if (e == WSAEWOULDBLOCK || e == WSAEINPROGRESS || e == WSAEINTR) {
    *s = sock;
    return Connect::kPending;
  }
  Close(sock);
  ::WSASetLastError(e);
  return Connect::kFailed;
}

// select, as in SelectFor: a failed connect shows in the exception set.
bool WaitConnects(PendingConnect* pending, std::size_t count, int timeoutMs) {
  if (timeoutMs < 0) return false;
  SocketSet writable(count);
  SocketSet failed(count);
  std::vector<std::pair<SOCKET, std::size_t>> index;
  index.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (pending[i].done || pending[i].socket == kInvalidSocket) continue;
    const SOCKET sock = static_cast<SOCKET>(pending[i].socket);
    writable.Add(sock);
    failed.Add(sock);
    index.emplace_back(sock, i);
  }
  if (index.empty()) return true;
  timeval tv;
  tv.tv_sec = static_cast<long>(timeoutMs / 1000);
  tv.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
  const int r = ::select(0, nullptr, writable.get(), failed.get(), &tv);
  if (r == SOCKET_ERROR) return ::WSAGetLastError() == WSAEINTR;
  if (r == 0) return true;
  std::sort(index.begin(), index.end());
  auto mark = [&](const std::vector<SOCKET>& members) {
    for (SOCKET sock : members) {
      auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(sock, std::size_t{0}));
      if (it == index.end() || it->first != sock) continue;
      PendingConnect& c = pending[it->second];
      if (c.done) continue;
      int err = 0;
      int len = sizeof err;
      c.done = true;
      c.connected =
          ::getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 &&
          err == 0;
    }
  };
  mark(failed.Members());
  mark(writable.Members());
  return true;
}

}  // namespace net
