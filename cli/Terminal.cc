// The stop flags, the same on every platform; the platform files call StopAsked from their
// handlers.
#include "cli/Terminal.h"

namespace cli {
namespace term {
namespace {

std::atomic<bool> g_stop{false};
std::atomic<bool> g_hardStop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

}  // namespace

void StopAsked() {
  if (g_stop.exchange(true)) g_hardStop.store(true);
}

const std::atomic<bool>& StopFlag() {
  return g_stop;
}

const std::atomic<bool>& HardStopFlag() {
  return g_hardStop;
}

void RequestStop() {
  g_stop.store(true);
}

}  // namespace term
}  // namespace cli
