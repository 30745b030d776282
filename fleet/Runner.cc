#include "fleet/Runner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <queue>
#include <system_error>
#include <thread>
#include <utility>

#include "base/Clock.h"
#include "cgi/CgiCmd.h"
#include "cgi/net.h"
#include "fleet/CameraCourse.h"

namespace fleet {

CameraReport RunOne(const Job& job, const RunOptions& options, const std::atomic<bool>& stop) {
  const std::shared_ptr<CameraSteps> steps = NetworkSteps();
  std::unique_ptr<CameraWork> w = Begin(job, 0, options, options.verify, *steps);
  if (ReadAndSet(*w, options, nullptr)) WaitForReturn(*w, options, stop);
  return Finish(*w, options);
}

void TraceExchanges(ExchangeTrace trace) {
  CCgiCmd::SetExchangeTrace(trace);
}

bool StartNetwork() {
  return net::Startup();
}

void EndNetwork() {
  net::Cleanup();
}

void RunObserver::Started(const Job&, size_t) {}
bool RunObserver::Read(const Job&, const Orientation&, const Orientation&) {
  return true;
}
void RunObserver::SetSent(const Job&, size_t) {}
void RunObserver::Restarting(const Job&, size_t) {}
void RunObserver::Back(const Job&, size_t) {}
void RunObserver::Finished(const CameraReport&) {}
void RunObserver::Tick(const Progress&) {}

namespace {
RunObserver kNoObserver;
}  // namespace

// What the workers and Execute share. It lives until the last worker ends, as workers abandoned
// by a hard stop may still be inside an exchange when Execute returns; they touch the observer
// only under the lock and only while not abandoned.
struct Schedule {
  Schedule(std::vector<Job> j, RunOptions o, RunObserver* obs, std::shared_ptr<CameraSteps> st)
      : jobs(std::move(j)),
        options(std::move(o)),
        observer(obs != nullptr ? obs : &kNoObserver),
        steps(st ? std::move(st) : NetworkSteps()),
        work(jobs.size()),
        results(jobs.size()),
        startedAt(jobs.size(), 0),
        published(jobs.size()),
        inWorker(jobs.size(), false),
        canaryCamera(jobs.size(), false),
        holding(jobs.size(), false) {
    canaryPhase = options.canary > 0 && options.mode == Mode::kSet && !options.dryRun;
  }

  const std::vector<Job> jobs;
  const RunOptions options;
  RunObserver* const observer;
  const std::shared_ptr<CameraSteps> steps;
  std::atomic<bool> stopAsked{false};
  std::atomic<bool> hardStopAsked{false};
  bool executed = false;

  std::mutex mu;
  std::condition_variable wake;     // for the workers
  std::condition_variable changed;  // for the caller
  std::atomic<bool> stopSeen{false};
  bool abandoned = false;
  size_t next = 0;
  size_t workersLeft = 0;
  // Why no further camera is started, when it is not the stop.
  std::string halt;
  Cause haltCause = Cause::kNone;
  bool canaryPhase = false;
  size_t canaryVerified = 0;
  size_t canaryUnderWay = 0;
  size_t failures = 0;
  size_t holders = 0;  // reported, but not back from their restart: their places stay taken
  using Due = std::pair<std::int64_t, size_t>;  // when, which camera
  std::priority_queue<Due, std::vector<Due>, std::greater<Due>> due;
  std::vector<std::unique_ptr<CameraWork>> work;
  std::vector<std::optional<CameraReport>> results;
  std::vector<std::int64_t> startedAt;
  std::vector<std::optional<Orientation>> published;  // values before, once a set may go out
  std::vector<bool> inWorker;
  std::vector<bool> canaryCamera;
  std::vector<bool> holding;
  Progress progress;

  bool StoppingLocked() {
    if (!abandoned && stopAsked.load()) stopSeen = true;
    return stopSeen.load();
  }
  bool MoreToStartLocked() { return next < jobs.size() && halt.empty() && !StoppingLocked(); }
  bool CanStartLocked() {
    if (!MoreToStartLocked()) return false;
    // No other camera before the canaries are verified: only as many as are still missing.
    if (canaryPhase && canaryVerified + canaryUnderWay >= static_cast<size_t>(options.canary)) {
      return false;
    }
    return options.maxRestarting <= 0 ||
           progress.running + holders < static_cast<size_t>(options.maxRestarting);
  }
  void HaltLocked(Cause cause, std::string why) {
    if (!halt.empty()) return;
    halt = std::move(why);
    haltCause = cause;
  }

  void FinishLocked(size_t i, bool waited) {
    CameraReport report = Finish(*work[i], options);
    // A camera not back from its restart keeps its place until it answers.
    const bool holds = waited && options.maxRestarting > 0 && work[i]->away &&
                       report.status == Status::kNoAnswerAfterRestart;
    if (holds) {
      holding[i] = true;
      ++holders;
      due.emplace(tw::NowMs() + work[i]->maxPauseMs, i);
      if (holders >= static_cast<size_t>(options.maxRestarting)) {
        HaltLocked(Cause::kRestartsNotBack,
                   "Not started: every restarting place is held by cameras that did not "
                   "come back");
      }
    } else {
      work[i].reset();
      if (waited) --progress.restarting;
    }
    --progress.running;
    ++progress.done;
    if (!report.ok) {
      ++progress.failed;
      ++failures;
      if (canaryPhase) {
        HaltLocked(Cause::kCanaryFailed,
                   "Not started: a camera failed while the canaries were verified");
      }
      if (options.maxFailures > 0 && failures >= static_cast<size_t>(options.maxFailures)) {
        HaltLocked(Cause::kMaxFailures,
                   "Not started: " + std::to_string(failures) + " camera(s) had failed already");
      }
    }
    if (canaryCamera[i]) {
      --canaryUnderWay;
      if (report.ok && report.verified.value_or(false)) ++canaryVerified;
      if (canaryVerified >= static_cast<size_t>(options.canary)) canaryPhase = false;
    }
    observer->Finished(report);
    results[i] = std::move(report);
    wake.notify_all();
    changed.notify_all();
  }

  // A held camera answered: its place is free.
  void ReleaseLocked(size_t i) {
    observer->Back(jobs[i], i);
    holding[i] = false;
    --holders;
    --progress.restarting;
    work[i].reset();
    wake.notify_all();
  }

  // The report of a camera abandoned in a worker, from what was published of it.
  CameraReport InterruptedLocked(size_t i) {
    CameraReport r = NewReport(jobs[i], i, options);
    r.before = published[i];
    SetStatus(r, Status::kInterrupted,
              published[i] ? "Interrupted: stopped at once; the set may have gone out"
                           : "Interrupted: stopped at once while the camera was under way");
    r.cause = Cause::kStopped;
    r.elapsedMs = tw::NowMs() - startedAt[i];
    return r;
  }
};

namespace {

void Work(const std::shared_ptr<Schedule>& s) {
  const RunOptions& options = s->options;
  std::unique_lock<std::mutex> lock(s->mu);
  while (!s->abandoned) {
    // Restart waits under way finish also after a stop; held places do not keep the run.
    if (s->progress.running == 0 && !s->MoreToStartLocked()) break;
    if (!s->due.empty() && s->due.top().first <= tw::NowMs()) {
      const size_t i = s->due.top().second;
      s->due.pop();
      s->inWorker[i] = true;
      const bool held = s->holding[i];
      lock.unlock();
      std::int64_t next = 0;
      if (held) {
        if (!AnswersNow(*s->work[i], options)) {
          next = tw::NowMs() + s->work[i]->maxPauseMs;
        }
      } else {
        next = VerifyAttempt(*s->work[i], options);
      }
      lock.lock();
      if (s->abandoned) break;
      s->inWorker[i] = false;
      if (next != 0) {
        s->due.emplace(next, i);
      } else if (held) {
        s->ReleaseLocked(i);
      } else {
        if (!s->work[i]->away) s->observer->Back(s->jobs[i], i);
        s->FinishLocked(i, true);
      }
      continue;
    }
    if (s->CanStartLocked()) {
      const size_t i = s->next++;
      // Canaries are verified whatever the options say: that is what they are for.
      s->canaryCamera[i] = s->canaryPhase;
      if (s->canaryPhase) ++s->canaryUnderWay;
      s->work[i] = Begin(s->jobs[i], i, options, s->options.verify || s->canaryPhase, *s->steps);
      s->startedAt[i] = s->work[i]->start;
      s->inWorker[i] = true;
      ++s->progress.running;
      s->observer->Started(s->jobs[i], i);
      CameraWork& w = *s->work[i];
      lock.unlock();
      const bool waits =
          ReadAndSet(w, options, [&s, i](const Orientation& before, const Orientation& wanted) {
            std::lock_guard<std::mutex> held(s->mu);
            if (s->abandoned) return false;
            s->published[i] = before;
            if (s->observer->Read(s->jobs[i], before, wanted)) return true;
            s->stopAsked = true;
            return false;
          });
      lock.lock();
      if (s->abandoned) break;
      s->inWorker[i] = false;
      if (w.setSent) s->observer->SetSent(s->jobs[i], i);
      if (waits) {
        s->observer->Restarting(s->jobs[i], i);
        ++s->progress.restarting;
        s->due.emplace(tw::NowMs() + w.pauseMs, i);
      } else {
        s->FinishLocked(i, false);
      }
      continue;
    }
    // Until the next read-back is due or a camera finishes; the caller's ticks wake the
    // workers too, so a stop is seen soon.
    std::int64_t until = tw::NowMs() + 250;
    if (!s->due.empty()) until = std::min(until, s->due.top().first);
    s->wake.wait_for(lock,
                     std::chrono::milliseconds(std::max<std::int64_t>(until - tw::NowMs(), 1)));
  }
  --s->workersLeft;
  s->changed.notify_all();
}

}  // namespace

Run::Run(std::vector<Job> jobs, RunOptions options, RunObserver* observer,
         std::shared_ptr<CameraSteps> steps)
    : s_(std::make_shared<Schedule>(std::move(jobs), std::move(options), observer,
                                    std::move(steps))) {}

Run::~Run() = default;

void Run::Stop() {
  s_->stopAsked = true;
}

void Run::HardStop() {
  s_->stopAsked = true;
  s_->hardStopAsked = true;
}

bool Run::HardStopped() const {
  return s_->hardStopAsked.load();
}

std::vector<CameraReport> Run::Execute() {
  const std::int64_t start = tw::NowMs();
  const std::shared_ptr<Schedule> s = s_;
  const std::vector<Job>& jobs = s->jobs;
  const RunOptions& options = s->options;
  RunObserver& observer = *s->observer;
  {
    std::lock_guard<std::mutex> lock(s->mu);
    if (s->executed) return {};
    s->executed = true;
  }
  s->progress.total = jobs.size();
  const size_t wanted = std::min<size_t>(std::max(options.jobs, 1), jobs.size());
  std::vector<std::thread> pool;
  pool.reserve(wanted);
  {
    std::lock_guard<std::mutex> lock(s->mu);
    s->workersLeft = wanted;
  }
  for (size_t t = 0; t < wanted; ++t) {
    try {
      pool.emplace_back(Work, s);
    } catch (const std::system_error&) {
      // The system gives no more threads: go on with the ones there are, or this one.
      std::lock_guard<std::mutex> lock(s->mu);
      s->workersLeft -= wanted - t;
      break;
    }
  }
  std::unique_lock<std::mutex> lock(s->mu);
  if (pool.empty() && !jobs.empty()) {
    s->workersLeft = 1;
    lock.unlock();
    Work(s);
    lock.lock();
  }
  while (s->workersLeft > 0) {
    s->changed.wait_for(lock, std::chrono::milliseconds(std::max(options.tickMs, 10)));
    if (!s->hardStopAsked.load()) {
      s->progress.stopping = s->StoppingLocked();
      s->progress.elapsedMs = tw::NowMs() - start;
      s->wake.notify_all();
      const Progress now = s->progress;
      lock.unlock();
      observer.Tick(now);  // which may stop the run
      lock.lock();
    }
    if (s->hardStopAsked.load()) {
      s->abandoned = true;
      s->stopSeen = true;
      break;
    }
  }

  const bool abandoned = s->abandoned;
  std::vector<CameraReport> ordered;
  ordered.reserve(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (!s->results[i] && s->work[i]) {
      // Only after a hard stop: under way in a worker, or waiting for its restart.
      if (s->inWorker[i]) {
        s->results[i] = s->InterruptedLocked(i);
      } else {
        InterruptVerify(*s->work[i]);
        s->results[i] = Finish(*s->work[i], options);
      }
      ++s->progress.done;
      ++s->progress.failed;
      observer.Finished(*s->results[i]);
    }
  }
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (!s->results[i]) {
      CameraReport r = NewReport(jobs[i], i, options);
      SetStatus(r, Status::kNotStarted,
                s->halt.empty() ? "Not started: the run was stopped first" : s->halt);
      r.cause = s->halt.empty() ? Cause::kStopped : s->haltCause;
      ++s->progress.done;
      ++s->progress.failed;
      observer.Finished(r);
      s->results[i] = std::move(r);
    }
    ordered.push_back(*s->results[i]);
  }
  s->progress.running = 0;
  s->progress.restarting = 0;
  s->progress.stopping = s->StoppingLocked();
  s->progress.elapsedMs = tw::NowMs() - start;
  const Progress last = s->progress;
  lock.unlock();
  for (std::thread& t : pool) {
    // Abandoned workers end on their own, at the latest at their exchange's limits.
    if (abandoned) {
      t.detach();
    } else {
      t.join();
    }
  }
  observer.Tick(last);
  return ordered;
}

}  // namespace fleet
