// Test hook, built only with TILTWISE_TEST_HOOKS: when TILTWISE_PAINT_LOG names a file, a 50 ms
// timer appends the monotonic time in milliseconds each time the event loop gets to run it.
// A window repaints only when its loop runs, so the largest gap between two lines is the
// longest the window went without a chance to repaint (bench/site_bench.sh).
#ifdef TILTWISE_TEST_HOOKS
#include <FL/Fl.H>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

std::FILE* g_paintLog = nullptr;

void PaintTick(void*) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::fprintf(g_paintLog, "%lld\n",
               static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
  std::fflush(g_paintLog);
  // Due 50 ms after it was due, not after it ran: a late turn shows as one long gap.
  Fl::repeat_timeout(0.05, &PaintTick);
}

struct PaintLogStart {
  PaintLogStart() {
    const char* path = std::getenv("TILTWISE_PAINT_LOG");
    if (path == nullptr || *path == '\0') return;
    g_paintLog = std::fopen(path, "a");
    if (g_paintLog != nullptr) Fl::add_timeout(0.05, &PaintTick);
  }
} g_paintLogStart;

}  // namespace
#endif
