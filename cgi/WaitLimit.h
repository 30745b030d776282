// How a time limit in milliseconds becomes one socket wait: whole seconds and microseconds, as a
// select timeval holds it, and the same span in milliseconds for poll.
#ifndef TILTWISE_CGI_WAITLIMIT_H_
#define TILTWISE_CGI_WAITLIMIT_H_

struct WaitLimit {
  long sec;
  long usec;
};

// sec = limit / 1000, usec = (limit mod 1000) * 1000, with C's truncating division.
inline WaitLimit ToWaitLimit(int timeoutMs) {
  return WaitLimit{timeoutMs / 1000L, (timeoutMs % 1000L) * 1000L};
}

// Negative when the limit was negative: such a wait is invalid and fails, as select's does.
inline int ToPollMs(WaitLimit w) {
  return static_cast<int>(w.sec * 1000L + w.usec / 1000L);
}

#endif  // TILTWISE_CGI_WAITLIMIT_H_
