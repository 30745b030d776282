#include "site/SiteRun.h"

#include <map>
#include <utility>

namespace site {

// The engine's news, turned into the window's by job index, and silenced once `done` was
// called.
class SiteRun::Observer : public fleet::RunObserver {
 public:
  Observer(State* state, const std::vector<fleet::Job>& jobs) : state_(state) {
    // The engine names a read camera by its job; each address is on the list once.
    for (size_t i = 0; i < jobs.size(); ++i) index_[{jobs[i].address, jobs[i].port}] = i;
  }

  bool Read(const fleet::Job& job, const fleet::Orientation& before,
            const fleet::Orientation& wanted) override {
    std::lock_guard<std::mutex> lock(state_->mu);
    if (state_->closed) return false;
    auto it = index_.find({job.address, job.port});
    if (it == index_.end()) return false;
    return !state_->events.read || state_->events.read(it->second, before, wanted);
  }
  void SetSent(const fleet::Job&, size_t index) override { Tell(state_->events.setSent, index); }
  void Restarting(const fleet::Job&, size_t index) override {
    Tell(state_->events.restarting, index);
  }
  void Back(const fleet::Job&, size_t index) override { Tell(state_->events.back, index); }
  void Finished(const fleet::CameraReport& report) override {
    std::lock_guard<std::mutex> lock(state_->mu);
    if (!state_->closed && state_->events.finished) state_->events.finished(report);
  }
  void Tick(const fleet::Progress& progress) override {
    std::lock_guard<std::mutex> lock(state_->mu);
    if (!state_->closed && state_->events.progress) state_->events.progress(progress);
  }

 private:
  void Tell(const std::function<void(size_t)>& event, size_t index) {
    std::lock_guard<std::mutex> lock(state_->mu);
    if (!state_->closed && event) event(index);
  }

  State* state_;  // owns this observer
  std::map<std::pair<tw::IPv4Address, int>, size_t> index_;
};

SiteRun::~SiteRun() {
  StopAtOnce();
  Join();
}

void SiteRun::Stop() {
  if (!state_) return;
  state_->stop = true;
  if (state_->run) state_->run->Stop();
}

void SiteRun::StopAtOnce() {
  if (!state_) return;
  state_->stop = true;
  if (state_->run) state_->run->HardStop();
}

bool SiteRun::Stopping() const {
  return state_ && state_->stop;
}

bool SiteRun::Running() const {
  return thread_.joinable() && state_ && !state_->finished;
}

void SiteRun::Join() {
  if (thread_.joinable()) thread_.join();
}

bool SiteRun::Launch(std::shared_ptr<State> state, std::function<void()> body) {
  state_ = std::move(state);
  try {
    thread_ = std::thread(std::move(body));
  } catch (...) {
    return false;  // no thread: nothing runs, and Running() stays false
  }
  return true;
}

bool SiteRun::Start(std::vector<fleet::Job> jobs, fleet::RunOptions options, RunEvents events) {
  if (Running()) return false;
  Join();
  auto state = std::make_shared<State>();
  state->events = std::move(events);
  options.tickMs = 100;
  try {
    state->observer = std::make_shared<Observer>(state.get(), jobs);
    state->run =
        std::make_shared<fleet::Run>(std::move(jobs), std::move(options), state->observer.get());
  } catch (...) {
    return false;
  }
  auto run = [state] {
    std::vector<fleet::CameraReport> reports;
    try {
      reports = state->run->Execute();
    } catch (...) {
      reports.clear();  // out of memory or threads: the caller sees no reports
    }
    std::lock_guard<std::mutex> lock(state->mu);
    state->closed = true;
    state->finished = true;
    if (state->events.done) state->events.done(std::move(reports));
  };
  return Launch(std::move(state), std::move(run));
}

bool SiteRun::StartScan(std::vector<fleet::Endpoint> endpoints, fleet::ScanOptions options,
                        ScanEvents events) {
  if (Running()) return false;
  Join();
  auto state = std::make_shared<State>();
  state->scan = true;
  options.hardStop = nullptr;
  auto run = [state, endpoints = std::move(endpoints), options = std::move(options),
              events = std::move(events)] {
    fleet::ScanProgress progress;
    try {
      fleet::RunScan(
          endpoints, options, state->stop,
          [&](const fleet::ScanResult& r) {
            if (events.found) events.found(r);
          },
          [&](const fleet::ScanProgress& p) {
            if (events.progress) events.progress(p);
          },
          &progress, 100);
    } catch (...) {
      progress.stopping = true;  // out of memory or threads: what was found stands
    }
    state->finished = true;
    if (events.done) events.done(progress);
  };
  return Launch(std::move(state), std::move(run));
}

}  // namespace site
