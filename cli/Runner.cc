#include "cli/Runner.h"

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
#include "cgi/Authorized.h"
#include "cgi/net.h"

namespace cli {
namespace {

const char* OnOff(bool on) {
  return on ? "on" : "off";
}

std::string Describe(const Orientation& o) {
  return std::string("Flip ") + OnOff(o.flip) + ", Mirror " + OnOff(o.mirror);
}

std::string MessageOf(Outcome outcome) {
  const OutcomeMessage m = MessageFor(outcome);
  if (m.text != nullptr) return m.text;
  if (outcome == Outcome::kSetRefusedSilently) {
    // The dialog shows nothing here; a script must still see that nothing changed.
    return "Set refused for this camera type (chip type 70, 73 or 74): nothing was changed";
  }
  return "";
}

void SetStatus(CameraReport& report, Status status, std::string message) {
  report.status = status;
  report.ok = IsSuccess(status);
  report.message = std::move(message);
}

// A camera's report before anything is known of it: who it is and what was meant for it.
CameraReport NewReport(const Job& job, size_t index, const RunOptions& options) {
  CameraReport r;
  r.index = index;
  r.host = job.host;
  r.port = job.port;
  r.user = job.user;
  r.name = job.name;
  r.location = job.location;
  r.action = options.mode == Mode::kQuery ? Action::kQuery
             : options.dryRun             ? Action::kDryRun
                                          : Action::kSet;
  return r;
}

void SetFailure(CameraReport& report, const Failure& failure) {
  report.cause = failure.cause;
  report.request = failure.request;
  report.detail = failure.detail.str();
}

void SetFromOutcome(CameraReport& report, Outcome outcome, const Failure& failure) {
  SetStatus(report, StatusFor(outcome), MessageOf(outcome));
  SetFailure(report, failure);
}

// Reports a read; true only when both values came from the camera. The dialog shows an absent
// value as a clear box, but a report must never turn "not read" into "off".
bool TakeRead(CameraReport& report, const QueryResult& q) {
  if (ValuesRead(q)) return true;
  if (q.outcome == Outcome::kQueried) {
    SetStatus(report, Status::kNotRead,
              "Flip and Mirror not read: the camera's values are unknown");
    SetFailure(report, q.failure);
  } else {
    SetFromOutcome(report, q.outcome, q.failure);
  }
  return false;
}

// Sleeps until `until` in short slices; false when a stop was asked for meanwhile.
bool PauseUntil(std::int64_t until, const std::atomic<bool>& stop) {
  for (int slice = 0; slice < 100000; ++slice) {
    if (stop.load()) return false;
    std::int64_t left = until - tw::NowMs();
    if (left <= 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::int64_t>(left, 50)));
  }
  return true;
}

// One camera on its way through a run: the read, the set, and the wait for its return.
struct CameraWork {
  Job job;
  CameraReport report;
  CameraAccess access;
  std::int64_t start = 0;
  bool verify = false;
  Orientation target;  // what the set sent
  std::int64_t verifyEnd = 0;
  int pauseMs = 0;  // before the next attempt to read it back
  int maxPauseMs = 0;
  bool sawAway = false;
  std::optional<Orientation> other;
  Failure lastFailure;
  AuthMemory auth;  // what this camera taught about its login, for every request of the run
};

std::unique_ptr<CameraWork> Begin(const Job& job, size_t index, const RunOptions& options,
                                  bool verify) {
  auto w = std::make_unique<CameraWork>();
  w->job = job;
  w->start = tw::NowMs();
  w->verify = verify && options.mode == Mode::kSet && !options.dryRun;
  w->report = NewReport(job, index, options);
  w->access.ip = job.host.c_str();
  w->access.port = job.port;
  w->access.user = job.user.c_str();
  w->access.password = options.password.c_str();
  w->access.timeoutMs = options.timeoutMs;
  w->access.deadlineAtMs = w->start + options.deadlineMs;
  w->access.auth = &w->auth;
  return w;
}

// Reads the camera and, for a set, sends it; `beforeSet` sees the values read just before a
// set goes out and may hold it back. True when the camera was set and is to be read back.
bool ReadAndSet(CameraWork& w, const RunOptions& options,
                const std::function<bool(const Orientation&)>& beforeSet) {
  CameraReport& report = w.report;
  if (options.mode == Mode::kQuery) {
    report.action = Action::kQuery;
    const QueryResult q = QueryOrientation(w.access);
    if (TakeRead(report, q)) {
      SetFromOutcome(report, q.outcome, q.failure);
      report.before = report.after = Orientation{q.flip != 0, q.mirror != 0};
    }
    return false;
  }
  // A dry run stays one whatever the camera answers, so a failure never reads as a set.
  report.action = options.dryRun ? Action::kDryRun : Action::kSet;
  Orientation target = w.job.wanted;
  if (!options.force) {
    const QueryResult q = QueryOrientation(w.access);
    // A camera whose values are unknown gets no set command: it may already be as wanted.
    if (!TakeRead(report, q)) return false;
    const Orientation current{q.flip != 0, q.mirror != 0};
    report.before = current;
    if (w.job.keepFlip) target.flip = current.flip;
    if (w.job.keepMirror) target.mirror = current.mirror;
    if (options.dryRun) {
      report.after = target;
      if (current == target) {
        SetStatus(report, Status::kWouldKeep, "Already as wanted: nothing would be sent");
      } else {
        SetStatus(report, Status::kWouldSet, "Would set " + Describe(target));
      }
      return false;
    }
    if (current == target) {
      report.action = Action::kSkip;
      report.after = current;
      SetStatus(report, Status::kAlreadySet, "Already as wanted: nothing sent");
      return false;
    }
    if (beforeSet && !beforeSet(current)) {
      SetStatus(report, Status::kNotStarted,
                "Not set: its values before could not be written to the backup file");
      return false;
    }
  }
  Failure failure;
  const Outcome outcome =
      SetOrientation(w.access, target.flip ? 1 : 0, target.mirror ? 1 : 0, &failure);
  SetFromOutcome(report, outcome, failure);
  if (outcome != Outcome::kSetSuccess) return false;
  report.after = target;
  if (!w.verify) return false;
  w.target = target;
  report.verified = false;
  w.verifyEnd = tw::NowMs() + options.verifyTimeoutMs;
  w.pauseMs = std::max(options.verifyPauseMs, 10);
  w.maxPauseMs = std::max(w.pauseMs, std::min(8 * w.pauseMs, 5000));
  return true;
}

void EndVerify(CameraWork& w, const RunOptions& options) {
  CameraReport& report = w.report;
  if (w.other) {
    report.after = w.other;
    SetStatus(report, Status::kNotApplied,
              "Not applied: the camera came back with " + Describe(*w.other));
    return;
  }
  SetStatus(report, Status::kNoAnswerAfterRestart,
            "Not verified: no answer within " + std::to_string(options.verifyTimeoutMs / 1000) +
                " s after the set");
  if (w.lastFailure.cause != Cause::kNone) {
    SetFailure(report, w.lastFailure);
    report.detail = "last failure: " + report.detail;
  }
}

void InterruptVerify(CameraWork& w) {
  SetStatus(w.report, Status::kVerifyInterrupted,
            "Not verified: the run was stopped while waiting for the restart");
}

// One attempt to read a restarted camera back: the time of the next one, or 0 when the
// camera is done. An answer with other values before the camera was seen away may come from
// before the restart, so only a later one, or the last one at the time limit, counts as
// "not applied". Refusals and resets while it restarts are waited out, ever less often.
std::int64_t VerifyAttempt(CameraWork& w, const RunOptions& options) {
  if (tw::NowMs() < w.verifyEnd) {
    CameraAccess again = w.access;
    again.deadlineAtMs = w.verifyEnd;
    const QueryResult q = QueryOrientation(again);
    bool again_later = true;
    if (!ValuesRead(q)) {
      w.sawAway = true;
      // The wait's own end cuts the last attempts short; an earlier cause says more.
      if (q.failure.cause != Cause::kDeadline || w.lastFailure.cause == Cause::kNone) {
        w.lastFailure = q.failure;
      }
    } else {
      const Orientation got{q.flip != 0, q.mirror != 0};
      if (got == w.target) {
        w.report.verified = true;
        w.report.after = got;
        w.report.note = "verified: the camera answered with the new values";
        return 0;
      }
      w.other = got;
      again_later = !w.sawAway;
    }
    if (again_later) {
      const std::int64_t next = tw::NowMs() + w.pauseMs;
      w.pauseMs = std::min(w.pauseMs + w.pauseMs / 4, w.maxPauseMs);
      return std::min(next, w.verifyEnd);
    }
  }
  EndVerify(w, options);
  return 0;
}

// The restart wait in the caller's own thread, holding its slot.
void WaitForReturn(CameraWork& w, const RunOptions& options, const std::atomic<bool>& stop) {
  std::int64_t due = tw::NowMs() + w.pauseMs;
  for (int attempt = 0; attempt < options.verifyTimeoutMs / 10 + 2; ++attempt) {
    if (!PauseUntil(due, stop)) {
      InterruptVerify(w);
      return;
    }
    due = VerifyAttempt(w, options);
    if (due == 0) return;
  }
  EndVerify(w, options);
}

CameraReport Finish(CameraWork& w, const RunOptions& options) {
  CameraReport& report = w.report;
  // The procedures cannot know how long the deadline was; say it where it decided.
  if (report.cause == Cause::kDeadline && !report.verified.has_value()) {
    report.detail = std::string(RequestName(report.request)) + ": cut off by the deadline of " +
                    std::to_string(options.deadlineMs / 1000) + " s";
  }
  report.elapsedMs = tw::NowMs() - w.start;
  return std::move(report);
}

}  // namespace

const char* ActionName(Action action) {
  switch (action) {
    case Action::kQuery:
      return "query";
    case Action::kSet:
      return "set";
    case Action::kSkip:
      return "skip";
    case Action::kDryRun:
      return "dry-run";
  }
  return "?";
}

const char* StatusName(Status status) {
  switch (status) {
    case Status::kQueried:
      return "queried";
    case Status::kSetSuccess:
      return "set";
    case Status::kAlreadySet:
      return "already-set";
    case Status::kWouldSet:
      return "would-set";
    case Status::kWouldKeep:
      return "no-change";
    case Status::kQueryInfoFailed:
      return "query-info-failed";
    case Status::kCameraTypeError:
      return "camera-type-error";
    case Status::kDeviceTypeHV:
      return "device-type-hv";
    case Status::kDeviceTypeNVR:
      return "device-type-nvr";
    case Status::kSetFailed:
      return "set-failed";
    case Status::kSetRefused:
      return "set-refused";
    case Status::kNotApplied:
      return "not-applied";
    case Status::kNoAnswerAfterRestart:
      return "no-answer-after-restart";
    case Status::kVerifyInterrupted:
      return "verify-interrupted";
    case Status::kNotStarted:
      return "not-started";
    case Status::kNotRead:
      return "not-read";
    case Status::kInterrupted:
      return "interrupted";
  }
  return "?";
}

bool IsSuccess(Status status) {
  switch (status) {
    case Status::kQueried:
    case Status::kSetSuccess:
    case Status::kAlreadySet:
    case Status::kWouldSet:
    case Status::kWouldKeep:
      return true;
    default:
      return false;
  }
}

Status StatusFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::kQueried:
      return Status::kQueried;
    case Outcome::kSetSuccess:
      return Status::kSetSuccess;
    case Outcome::kQueryInfoFailed:
      return Status::kQueryInfoFailed;
    case Outcome::kCameraTypeError:
      return Status::kCameraTypeError;
    case Outcome::kDeviceTypeHV:
      return Status::kDeviceTypeHV;
    case Outcome::kDeviceTypeNVR:
      return Status::kDeviceTypeNVR;
    case Outcome::kSetFailed:
      return Status::kSetFailed;
    case Outcome::kSetRefusedSilently:
      return Status::kSetRefused;
  }
  return Status::kSetFailed;
}

CameraReport RunOne(const Job& job, const RunOptions& options, const std::atomic<bool>& stop) {
  std::unique_ptr<CameraWork> w = Begin(job, 0, options, options.verify);
  if (ReadAndSet(*w, options, nullptr)) WaitForReturn(*w, options, stop);
  return Finish(*w, options);
}

namespace {

// What the workers and the caller of RunJobs share. It lives until the last worker ends, as
// workers abandoned by a hard stop may still be inside an exchange when RunJobs returns; they
// touch the caller's flags and hooks only under the lock and only while not abandoned.
struct Schedule {
  Schedule(const std::vector<Job>& j, const RunOptions& o, const std::atomic<bool>& s,
           const RunHooks& h)
      : jobs(j),
        options(o),
        stop(&s),
        hooks(h),
        work(j.size()),
        results(j.size()),
        startedAt(j.size(), 0),
        published(j.size()),
        inWorker(j.size(), false) {}

  const std::vector<Job> jobs;
  const RunOptions options;
  const std::atomic<bool>* stop;
  const RunHooks hooks;

  std::mutex mu;
  std::condition_variable wake;     // for the workers
  std::condition_variable changed;  // for the caller
  std::atomic<bool> stopSeen{false};
  bool abandoned = false;
  size_t next = 0;
  size_t workersLeft = 0;
  std::string halt;  // why no further camera is started, when it is not the stop
  size_t canaryFinished = 0;
  size_t failures = 0;
  using Due = std::pair<std::int64_t, size_t>;  // when, which camera
  std::priority_queue<Due, std::vector<Due>, std::greater<Due>> due;
  std::vector<std::unique_ptr<CameraWork>> work;
  std::vector<std::optional<CameraReport>> results;
  std::vector<std::int64_t> startedAt;
  std::vector<std::optional<Orientation>> published;  // values before, once a set may go out
  std::vector<bool> inWorker;
  Progress progress;

  bool StoppingLocked() {
    if (!abandoned && stop->load()) stopSeen = true;
    return stopSeen.load();
  }
  bool MoreToStartLocked() { return next < jobs.size() && halt.empty() && !StoppingLocked(); }
  bool CanStartLocked() {
    if (!MoreToStartLocked()) return false;
    const size_t canary = std::min<size_t>(static_cast<size_t>(options.canary), jobs.size());
    if (next >= canary && canaryFinished < canary) return false;
    return options.maxRestarting <= 0 ||
           progress.running < static_cast<size_t>(options.maxRestarting);
  }

  void FinishLocked(size_t i, bool waited) {
    CameraReport report = Finish(*work[i], options);
    work[i].reset();
    --progress.running;
    if (waited) --progress.restarting;
    ++progress.done;
    if (!report.ok) {
      ++progress.failed;
      ++failures;
      if (i < static_cast<size_t>(options.canary) && halt.empty()) {
        halt = "Not started: a canary camera did not succeed";
      }
      if (options.maxFailures > 0 && failures >= static_cast<size_t>(options.maxFailures) &&
          halt.empty()) {
        halt = "Not started: " + std::to_string(failures) + " camera(s) had failed already";
      }
    }
    if (i < static_cast<size_t>(options.canary)) ++canaryFinished;
    if (hooks.onReport) hooks.onReport(report);
    results[i] = std::move(report);
    wake.notify_all();
    changed.notify_all();
  }

  // The report of a camera abandoned in a worker, from what was published of it.
  CameraReport InterruptedLocked(size_t i) {
    CameraReport r = NewReport(jobs[i], i, options);
    r.before = published[i];
    SetStatus(r, Status::kInterrupted,
              published[i] ? "Interrupted: stopped at once; the set may have gone out"
                           : "Interrupted: stopped at once while the camera was under way");
    r.elapsedMs = tw::NowMs() - startedAt[i];
    return r;
  }
};

void Work(const std::shared_ptr<Schedule>& s) {
  const RunOptions& options = s->options;
  std::unique_lock<std::mutex> lock(s->mu);
  while (!s->abandoned) {
    if (s->StoppingLocked() && !s->due.empty()) {
      const size_t i = s->due.top().second;
      s->due.pop();
      InterruptVerify(*s->work[i]);
      s->FinishLocked(i, true);
      continue;
    }
    if (!s->due.empty() && s->due.top().first <= tw::NowMs()) {
      const size_t i = s->due.top().second;
      s->due.pop();
      s->inWorker[i] = true;
      lock.unlock();
      const std::int64_t next = VerifyAttempt(*s->work[i], options);
      lock.lock();
      if (s->abandoned) break;
      s->inWorker[i] = false;
      if (next != 0) {
        s->due.emplace(next, i);
      } else {
        s->FinishLocked(i, true);
      }
      continue;
    }
    if (s->CanStartLocked()) {
      const size_t i = s->next++;
      const bool verify = s->options.verify || i < static_cast<size_t>(options.canary);
      s->work[i] = Begin(s->jobs[i], i, options, verify);
      s->startedAt[i] = s->work[i]->start;
      s->inWorker[i] = true;
      ++s->progress.running;
      CameraWork& w = *s->work[i];
      lock.unlock();
      bool waits = ReadAndSet(w, options, [&s, i](const Orientation& before) {
        std::lock_guard<std::mutex> held(s->mu);
        if (s->abandoned) return false;
        s->published[i] = before;
        return !s->hooks.onRead || s->hooks.onRead(s->jobs[i], before);
      });
      if (waits && options.verifyHoldsSlot) {
        WaitForReturn(w, options, s->stopSeen);
        waits = false;
      }
      lock.lock();
      if (s->abandoned) break;
      s->inWorker[i] = false;
      if (waits) {
        ++s->progress.restarting;
        s->due.emplace(tw::NowMs() + w.pauseMs, i);
      } else {
        s->FinishLocked(i, false);
      }
      continue;
    }
    if (s->progress.running == 0 && !s->MoreToStartLocked()) break;
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

std::vector<CameraReport> RunJobs(const std::vector<Job>& jobs, const RunOptions& options,
                                  const std::atomic<bool>& stop, const RunHooks& hooks) {
  const std::int64_t start = tw::NowMs();
  auto s = std::make_shared<Schedule>(jobs, options, stop, hooks);
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
    s->changed.wait_for(lock, std::chrono::milliseconds(std::max(hooks.tickMs, 10)));
    if (hooks.hardStop != nullptr && hooks.hardStop->load()) {
      s->abandoned = true;
      s->stopSeen = true;
      break;
    }
    s->progress.stopping = s->StoppingLocked();
    s->progress.elapsedMs = tw::NowMs() - start;
    s->wake.notify_all();
    if (hooks.onTick) {
      const Progress now = s->progress;
      lock.unlock();
      hooks.onTick(now);
      lock.lock();
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
      if (hooks.onReport) hooks.onReport(*s->results[i]);
    }
  }
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (!s->results[i]) {
      CameraReport r = NewReport(jobs[i], i, options);
      SetStatus(r, Status::kNotStarted,
                s->halt.empty() ? "Not started: the run was stopped first" : s->halt);
      ++s->progress.done;
      ++s->progress.failed;
      if (hooks.onReport) hooks.onReport(r);
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
  if (hooks.onTick) hooks.onTick(last);
  return ordered;
}

std::vector<CameraReport> RunJobs(const std::vector<Job>& jobs, const RunOptions& options,
                                  const std::atomic<bool>& stop,
                                  const std::function<void(const CameraReport&)>& onReport,
                                  const std::function<void(const Progress&)>& onTick, int tickMs) {
  RunHooks hooks;
  hooks.onReport = onReport;
  hooks.onTick = onTick;
  hooks.tickMs = tickMs;
  return RunJobs(jobs, options, stop, hooks);
}

}  // namespace cli
