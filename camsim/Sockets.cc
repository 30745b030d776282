#include "camsim/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace camsim {

std::string ErrnoText(int err) {
  return std::strerror(err);
}

bool SetNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void SetCloseOnExec(int fd) {
  fcntl(fd, F_SETFD, FD_CLOEXEC);
}

void CloseFd(int* fd) {
  if (*fd >= 0) {
    close(*fd);
    *fd = -1;
  }
}

bool WouldBlock(int err) {
  return err == EAGAIN || err == EWOULDBLOCK;
}

long long RaiseFileLimit() {
  struct rlimit lim;
  if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return 1024;
  if (lim.rlim_cur != lim.rlim_max) {
    struct rlimit raised = lim;
    raised.rlim_cur = lim.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) lim = raised;
  }
  return lim.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long long>(lim.rlim_cur);
}

int OpenListener(const ListenAddress& address, int port, int* fd, int* bound_port,
                 std::string* error) {
  struct sockaddr_storage storage {};
  socklen_t length = 0;
  const auto net_port = htons(static_cast<std::uint16_t>(port));
  if (address.v4) {
    auto* v4 = reinterpret_cast<struct sockaddr_in*>(&storage);
    v4->sin_family = AF_INET;
    v4->sin_port = net_port;
    v4->sin_addr.s_addr = address.v4->netOrder();
    length = sizeof(struct sockaddr_in);
  } else {
    auto* v6 = reinterpret_cast<struct sockaddr_in6*>(&storage);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = net_port;
    std::memcpy(&v6->sin6_addr, address.v6.data(), address.v6.size());
    length = sizeof(struct sockaddr_in6);
  }
  int s = socket(storage.ss_family, SOCK_STREAM, 0);
  if (s < 0) {
    int err = errno;
    *error = "socket: " + ErrnoText(err);
    return err;
  }
  SetCloseOnExec(s);
  int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(s, reinterpret_cast<struct sockaddr*>(&storage), length) != 0 ||
      listen(s, SOMAXCONN) != 0 || !SetNonBlocking(s)) {
    int err = errno;
    close(s);
    *error = "cannot listen on " + address.text + " port " + std::to_string(port) + ": " +
             ErrnoText(err);
    return err;
  }
  struct sockaddr_storage bound {};
  socklen_t bound_length = sizeof bound;
  getsockname(s, reinterpret_cast<struct sockaddr*>(&bound), &bound_length);
  *bound_port =
      ntohs(bound.ss_family == AF_INET ? reinterpret_cast<struct sockaddr_in*>(&bound)->sin_port
                                       : reinterpret_cast<struct sockaddr_in6*>(&bound)->sin6_port);
  *fd = s;
  return 0;
}

}  // namespace camsim
