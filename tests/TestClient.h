// A tiny raw-socket HTTP client for the simulator's tests: loopback only, every wait bounded.
#ifndef TILTWISE_TESTS_TESTCLIENT_H_
#define TILTWISE_TESTS_TESTCLIENT_H_

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

namespace camsim_test {

inline int RemainingMs(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Connects to host:port (an address in 127.0.0.0/8) within `timeout_ms`. Returns the blocking
// socket, or -1 with errno set (ECONNREFUSED when nothing listens, ETIMEDOUT when the wait ran
// out). A `receive_buffer` above 0 shrinks the socket's receive buffer (and so the window) first.
inline int Connect(int port, int timeout_ms = 2000, int receive_buffer = 0,
                   const char* host = "127.0.0.1") {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  if (receive_buffer > 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  struct sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, host, &addr.sin_addr) != 1 || (ntohl(addr.sin_addr.s_addr) >> 24) != 127) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  fcntl(fd, F_SETFL, O_NONBLOCK);
  int rc = connect(fd, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr);
  int err = rc == 0 ? 0 : errno;
  if (err == EINPROGRESS) {
    struct pollfd p = {fd, POLLOUT, 0};
    if (poll(&p, 1, timeout_ms) == 1) {
      socklen_t len = sizeof err;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    } else {
      err = ETIMEDOUT;
    }
  }
  if (err != 0) {
    close(fd);
    errno = err;
    return -1;
  }
  fcntl(fd, F_SETFL, 0);
  return fd;
}

inline bool SendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

struct Reply {
  bool connected = false;
  std::string data;
  bool closed = false;  // the server ended the connection (end of stream or reset)
};

// Reads until the server closes, `timeout_ms` pass in total, or `max_bytes` arrived.
inline void ReadReply(int fd, int timeout_ms, Reply* reply, size_t max_bytes = 1 << 20) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char buf[4096];
  while (reply->data.size() < max_bytes) {
    struct pollfd p = {fd, POLLIN, 0};
    int rc = poll(&p, 1, RemainingMs(deadline));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) return;
    size_t want = std::min(sizeof buf, max_bytes - reply->data.size());
    ssize_t n = recv(fd, buf, want, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      reply->closed = true;
      return;
    }
    reply->data.append(buf, static_cast<size_t>(n));
  }
}

// The request text the tool sends, header lines and all.
inline std::string ToolRequest(const std::string& path, const std::string& authorization) {
  return "GET " + path +
         " HTTP/1.1\r\n"
         "Accept: */*\r\n"
         "Accept-Language: en-us\r\n"
         "Accept-Encoding: gzip, deflate\r\n"
         "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR "
         "2.0.50727)\r\n"
         "Host: 127.0.0.1:80\r\n"
         "Connection: Keep-Alive\r\n" +
         (authorization.empty() ? std::string() : "Authorization: " + authorization + "\r\n") +
         "Cache-Control:no-cache\r\n"
         "Connection: close\r\n"
         "\r\n";
}

inline std::string Base64(std::string_view in) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kAlphabet[v & 63] : '=';
  }
  return out;
}

inline std::string BasicAuth(const std::string& user, const std::string& password) {
  return "Basic " + Base64(user + ":" + password);
}

// One exchange: connect, send `request` whole, read the reply.
inline Reply Exchange(int port, const std::string& request, int timeout_ms = 3000,
                      const char* host = "127.0.0.1") {
  Reply reply;
  int fd = Connect(port, 2000, 0, host);
  if (fd < 0) return reply;
  reply.connected = true;
  if (SendAll(fd, request)) ReadReply(fd, timeout_ms, &reply);
  close(fd);
  return reply;
}

inline Reply Get(int port, const std::string& path, const std::string& user = "admin",
                 const std::string& password = "quillpen") {
  return Exchange(port, ToolRequest(path, BasicAuth(user, password)));
}

inline Reply GetAt(const char* host, int port, const std::string& path,
                   const std::string& user = "admin", const std::string& password = "quillpen",
                   int timeout_ms = 3000) {
  return Exchange(port, ToolRequest(path, BasicAuth(user, password)), timeout_ms, host);
}

// The body after the blank line, or "" when there is none.
inline std::string Body(const std::string& reply) {
  size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

}  // namespace camsim_test

#endif  // TILTWISE_TESTS_TESTCLIENT_H_
