#include "site/SiteRun.h"

#include <map>
#include <string>
#include <utility>

namespace site {

SiteRun::~SiteRun() {
  StopAtOnce();
  Join();
}

void SiteRun::Stop() {
  if (state_) state_->stop = true;
}

void SiteRun::StopAtOnce() {
  if (!state_) return;
  state_->stop = true;
  if (!state_->scan) state_->hardStop = true;
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

bool SiteRun::Start(std::vector<fleet::Job> jobs, fleet::RunOptions options, RunEvents events) {
  if (Running()) return false;
  Join();
  auto state = std::make_shared<State>();
  state->events = std::move(events);
  // The engine names a read camera by its job; each address is on the list once.
  auto index = std::make_shared<std::map<std::pair<std::string, int>, size_t>>();
  for (size_t i = 0; i < jobs.size(); ++i) (*index)[{jobs[i].host, jobs[i].port}] = i;

  fleet::RunHooks hooks;
  hooks.onReport = [state](const fleet::CameraReport& report) {
    std::lock_guard<std::mutex> lock(state->mu);
    if (!state->closed && state->events.finished) state->events.finished(report);
  };
  hooks.onTick = [state](const fleet::Progress& progress) {
    std::lock_guard<std::mutex> lock(state->mu);
    if (!state->closed && state->events.progress) state->events.progress(progress);
  };
  hooks.onRead = [state, index](const fleet::Job& job, const fleet::Orientation& before,
                                const fleet::Orientation& wanted) {
    std::lock_guard<std::mutex> lock(state->mu);
    if (state->closed) return false;
    return !state->events.read ||
           state->events.read(index->at({job.host, job.port}), before, wanted);
  };
  hooks.hardStop = &state->hardStop;
  hooks.tickMs = 100;

  auto run = [state, hooks, jobs = std::move(jobs), options = std::move(options)] {
    std::vector<fleet::CameraReport> reports;
    try {
      reports = fleet::RunJobs(jobs, options, state->stop, hooks);
    } catch (...) {
      reports.clear();  // out of memory or threads: the caller sees no reports
    }
    std::lock_guard<std::mutex> lock(state->mu);
    state->closed = true;
    state->finished = true;
    if (state->events.done) state->events.done(std::move(reports));
  };
  state_ = state;
  try {
    thread_ = std::thread(std::move(run));
  } catch (...) {
    return false;
  }
  return true;
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
  state_ = state;
  try {
    thread_ = std::thread(std::move(run));
  } catch (...) {
    return false;
  }
  return true;
}

}  // namespace site
