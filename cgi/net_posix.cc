#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/Clock.h"
#include "cgi/net.h"

namespace net {
namespace {

#if defined(MSG_NOSIGNAL)
constexpr int kNoSignal = MSG_NOSIGNAL;
#else
constexpr int kNoSignal = 0;
#endif
// A blocking send of more than the socket buffer takes would wait, unbounded, for the peer to
// read; the caller's writability wait is the only wait there should be.
constexpr int kSendFlags = kNoSignal | MSG_DONTWAIT;

// poll rather than select: select's bitmask cannot hold a descriptor of FD_SETSIZE or more.
Wait PollFor(Socket s, short events, int timeoutMs) {
  // poll skips a negative descriptor and would sit out the limit; select fails at once.
  if (timeoutMs < 0 || s < 0) return Wait::kError;
  const std::int64_t deadline = tw::NowMs() + timeoutMs;
  for (;;) {
    pollfd p{};
    p.fd = s;
    p.events = events;
    std::int64_t left = deadline - tw::NowMs();
    int r = ::poll(&p, 1, static_cast<int>(left > 0 ? left : 0));
    if (r > 0) {
      // An error or hang-up still lets the caller's recv/send see the outcome, as select does.
      return (p.revents & (events | POLLERR | POLLHUP)) ? Wait::kReady : Wait::kError;
    }
    if (r == 0) return Wait::kTimeout;
    if (errno != EINTR) return Wait::kError;
  }
}

bool SetNonBlocking(Socket s, bool on) {
  int flags = ::fcntl(s, F_GETFL, 0);
  if (flags < 0) return false;
  flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return ::fcntl(s, F_SETFL, flags) == 0;
}

}  // namespace

const Socket kInvalidSocket = -1;

bool Startup() {
  return true;
}
void Cleanup() {}

Socket OpenTcp() {
  Socket s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return kInvalidSocket;
#if defined(SO_NOSIGPIPE)
  int one = 1;
  ::setsockopt(s, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
  ::fcntl(s, F_SETFD, FD_CLOEXEC);
  return s;
}

void Close(Socket s) {
  if (s != kInvalidSocket) ::close(s);
}

bool ConnectWithin(Socket s, std::uint32_t addressNetOrder, int port, int timeoutMs) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = addressNetOrder;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (!SetNonBlocking(s, true)) return false;
  int r = ::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  if (r != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return false;
    if (PollFor(s, POLLOUT, timeoutMs) != Wait::kReady) return false;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return false;
    if (err != 0) {
      errno = err;
      return false;
    }
  }
  return SetNonBlocking(s, false);
}

Wait WaitReadable(Socket s, int timeoutMs) {
  return PollFor(s, POLLIN, timeoutMs);
}
Wait WaitWritable(Socket s, int timeoutMs) {
  return PollFor(s, POLLOUT, timeoutMs);
}

int Send(Socket s, const char* data, int length) {
  return static_cast<int>(::send(s, data, static_cast<size_t>(length), kSendFlags));
}

int Recv(Socket s, char* buffer, int capacity) {
  return static_cast<int>(::recv(s, buffer, static_cast<size_t>(capacity), 0));
}

bool LastErrorIsTransient() {
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

bool LastErrorIsLocalLimit() {
  return errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
}

std::string LastErrorText() {
  int e = errno;
  return std::string(std::strerror(e)) + " (errno " + std::to_string(e) + ")";
}

long RaiseOpenFileLimit() {
  rlimit lim{};
  if (::getrlimit(RLIMIT_NOFILE, &lim) != 0) return 1024;
  if (lim.rlim_cur != lim.rlim_max) {
    rlimit raised = lim;
    raised.rlim_cur = lim.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) lim = raised;
  }
  const rlim_t cap = 1L << 20;
  const long limit =
      static_cast<long>(lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur > cap ? cap : lim.rlim_cur);
  // Descriptors a process holds at its start lie low; those past the first few thousand are rare.
  long held = 0;
  for (int fd = 0; fd < limit && fd < 4096; ++fd) held += ::fcntl(fd, F_GETFD) != -1 ? 1 : 0;
  return limit - held;
}

Connect StartConnect(std::uint32_t addressNetOrder, int port, Socket* s) {
  *s = kInvalidSocket;
  Socket sock = OpenTcp();
  if (sock == kInvalidSocket) return Connect::kFailed;
  if (!SetNonBlocking(sock, true)) {
    Close(sock);
    return Connect::kFailed;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = addressNetOrder;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
    *s = sock;
    return Connect::kConnected;
  }
  // An interrupted connect goes on in the background, like one in progress.
  if (errno == EINPROGRESS || errno == EINTR) {
    *s = sock;
    return Connect::kPending;
  }
  const int e = errno;
  Close(sock);
  errno = e;
  return Connect::kFailed;
}

bool WaitConnects(PendingConnect* pending, std::size_t count, int timeoutMs) {
  if (timeoutMs < 0) return false;
  std::vector<pollfd> fds;
  std::vector<std::size_t> which;
  fds.reserve(count);
  which.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (pending[i].done || pending[i].socket < 0) continue;
    pollfd p{};
    p.fd = pending[i].socket;
    p.events = POLLOUT;
    fds.push_back(p);
    which.push_back(i);
  }
  if (fds.empty()) return true;
  const int r = ::poll(fds.data(), static_cast<nfds_t>(fds.size()), timeoutMs);
  if (r < 0) return errno == EINTR;
  for (std::size_t k = 0; k < fds.size() && r > 0; ++k) {
    if (fds[k].revents == 0) continue;
    PendingConnect& c = pending[which[k]];
    int err = 0;
    socklen_t len = sizeof err;
    c.done = true;
    c.connected = ::getsockopt(c.socket, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0 &&
                  (fds[k].revents & POLLOUT) != 0;
  }
  return true;
}

}  // namespace net
