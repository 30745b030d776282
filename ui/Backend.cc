#include "ui/Backend.h"

#include <thread>
#include <utility>

namespace ui {

Backend::~Backend() = default;

bool Backend::StartThread(std::thread* thread, std::function<void()> run) {
  try {
    *thread = std::thread(std::move(run));
    return true;
  } catch (...) {  // no thread (std::system_error), or no memory for one
    return false;
  }
}

bool Backend::RunBusy(const std::function<void()>& work) {
  BeginWaitCursor();
  std::atomic<bool> done{false};
  bool threw = false;
  // Nothing may leave the worker: an exception there would end the program.
  auto run = [&] {
    try {
      work();
    } catch (...) {
      threw = true;
    }
    done = true;
  };
  std::thread worker;
  if (StartThread(&worker, run)) {
    PumpUntil(done);
    worker.join();
  } else {
    run();
  }
  EndWaitCursor();
  return !threw;
}

}  // namespace ui
