// LogWriter: the simulator's line log on a descriptor it must never wait for. A log pipe
// nobody reads would otherwise stop every camera of the process.
#ifndef TILTWISE_CAMSIM_LOGWRITER_H_
#define TILTWISE_CAMSIM_LOGWRITER_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace camsim {

class LogWriter {
 public:
  // Writes to `fd`, which stays open. Lines wait in a buffer of `capacity` bytes until the
  // descriptor takes them; a line that does not fit is dropped and counted.
  explicit LogWriter(int fd, size_t capacity = 1024 * 1024);
  ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // `line` without its newline.
  void Add(std::string_view line);
  // Writes what the descriptor takes now, without waiting.
  void Flush();
  // Flushes, waiting up to `wait_ms` for the reader; then gives up on what is left. Returns
  // the number of lines that never went out.
  size_t Finish(int wait_ms);

  bool pending() const { return start_ < buffer_.size(); }
  int fd() const { return own_fd_ >= 0 ? own_fd_ : fd_; }  // poll it for POLLOUT when pending
  size_t dropped() const { return dropped_; }

 private:
  void DropPending();

  int fd_;
  int own_fd_ = -1;  // the same pipe or terminal opened again without blocking
  bool socket_ = false;
  bool broken_ = false;
  size_t capacity_;
  std::string buffer_;
  size_t start_ = 0;  // bytes of buffer_ already written
  size_t dropped_ = 0;
};

// Writes `text` to `fd` when the descriptor takes it within `wait_ms`; otherwise drops it.
// For the rare warnings on standard error, which may be an unread pipe too.
void WriteNoWait(int fd, std::string_view text, int wait_ms = 0);

}  // namespace camsim

#endif  // TILTWISE_CAMSIM_LOGWRITER_H_
