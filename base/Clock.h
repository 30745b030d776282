// A monotonic clock in milliseconds, for deadlines and elapsed times anywhere in the program.
#ifndef TILTWISE_BASE_CLOCK_H_
#define TILTWISE_BASE_CLOCK_H_

#include <chrono>
#include <cstdint>

namespace tw {

inline std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace tw

#endif  // TILTWISE_BASE_CLOCK_H_
