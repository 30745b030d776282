#include "ui/Backend.h"

#include <thread>

namespace ui {

Backend::~Backend() = default;

void Backend::RunBusy(const std::function<void()>& work) {
  BeginWaitCursor();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  PumpUntil(done);
  worker.join();
  EndWaitCursor();
}

}  // namespace ui
