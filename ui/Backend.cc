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

void Backend::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(postMu_);
    posted_.push_back(std::move(task));
  }
  // One wake at a time: a toolkit's wake queue is small and the drain takes every task.
  if (!wakePending_.exchange(true)) Wake();
}

int Backend::RunPosted() {
  wakePending_ = false;  // before the take: a task posted after it wakes again
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> lock(postMu_);
    tasks.swap(posted_);
  }
  for (auto& task : tasks) task();
  return static_cast<int>(tasks.size());
}

}  // namespace ui
