// Finds where an HTTP reply's header ends (its first "\r\n\r\n") while the reply arrives in
// reads cut anywhere: the marker may straddle reads, and the header may outlast many reads.
#ifndef TILTWISE_CGI_HEADEREND_H_
#define TILTWISE_CGI_HEADEREND_H_

#include <cstddef>

class HeaderEnd {
 public:
  // Feeds the next read. Returns the offset in it where the body starts: `length` while the
  // read is header through and through, 0 for every read after the header has ended.
  std::size_t Feed(const char* data, std::size_t length) {
    if (found_) return 0;
    for (std::size_t i = 0; i < length; ++i) {
      // matched_ counts the bytes of "\r\n\r\n" seen so far; a "\r" always starts afresh.
      const char c = data[i];
      if (c == '\r') {
        matched_ = matched_ == 2 ? 3 : 1;
      } else if (c == '\n' && (matched_ == 1 || matched_ == 3)) {
        ++matched_;
      } else {
        matched_ = 0;
      }
      if (matched_ == 4) {
        found_ = true;
        return i + 1;
      }
    }
    return length;
  }

  bool found() const { return found_; }

 private:
  int matched_ = 0;
  bool found_ = false;
};

#endif  // TILTWISE_CGI_HEADEREND_H_
