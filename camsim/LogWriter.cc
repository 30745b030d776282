#include "camsim/LogWriter.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace camsim {
namespace {

// Without a descriptor of our own, poll first and write at most PIPE_BUF bytes: a pipe that
// polls writable takes that much without blocking.
bool ReadyToWrite(int fd, int wait_ms) {
  struct pollfd p = {fd, POLLOUT, 0};
  int n;
  do {
    n = poll(&p, 1, wait_ms);
  } while (n < 0 && errno == EINTR);
  return n == 1 && (p.revents & POLLOUT);
}

}  // namespace

LogWriter::LogWriter(int fd, size_t capacity) : fd_(fd), capacity_(capacity) {
  struct stat st;
  if (fstat(fd, &st) != 0) return;
  socket_ = S_ISSOCK(st.st_mode);
  if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
    // A new open file description: O_NONBLOCK on the inherited one would surprise every other
    // process writing to the same pipe or terminal.
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    own_fd_ = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  }
}

LogWriter::~LogWriter() {
  if (own_fd_ >= 0) close(own_fd_);
}

void LogWriter::Add(std::string_view line) {
  if (broken_ || buffer_.size() - start_ + line.size() + 1 > capacity_) {
    ++dropped_;
    return;
  }
  if (start_ > 0 && start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  buffer_.append(line);
  buffer_ += '\n';
  Flush();
}

void LogWriter::Flush() {
  while (pending() && !broken_) {
    size_t size = buffer_.size() - start_;
    if (own_fd_ < 0 && !socket_) {
      if (!ReadyToWrite(fd_, 0)) break;
      size = std::min<size_t>(size, PIPE_BUF);
    }
    const char* data = buffer_.data() + start_;
    ssize_t n =
        socket_ ? send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL) : write(fd(), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        broken_ = true;  // the reader is gone: nothing will ever go out
        DropPending();
      }
      break;
    }
    start_ += static_cast<size_t>(n);
  }
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  } else if (start_ >= capacity_ / 2) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
}

size_t LogWriter::Finish(int wait_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  Flush();
  while (pending() && !broken_) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0 || !ReadyToWrite(fd(), static_cast<int>(left))) break;
    Flush();
  }
  DropPending();
  return dropped_;
}

void LogWriter::DropPending() {
  // A line cut short counts as dropped: its newline is among the bytes left.
  dropped_ += static_cast<size_t>(
      std::count(buffer_.begin() + static_cast<long>(start_), buffer_.end(), '\n'));
  buffer_.clear();
  start_ = 0;
}

void WriteNoWait(int fd, std::string_view text, int wait_ms) {
  if (text.size() > PIPE_BUF) text = text.substr(0, PIPE_BUF);
  if (!ReadyToWrite(fd, wait_ms)) return;
  ssize_t ignored = write(fd, text.data(), text.size());
  (void)ignored;  // nothing to do when standard error fails
}

}  // namespace camsim
