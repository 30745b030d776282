#include "cli/Runner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "base/Clock.h"
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

// After a successful set: the camera restarts, so wait until it answers again and compare.
// An answer with other values before the camera was seen away may come from before the
// restart, so only a later one, or the last one at the time limit, counts as "not applied".
void Verify(const Job& job, const CameraAccess& access, const RunOptions& options,
            const std::atomic<bool>& stop, CameraReport& report) {
  const std::int64_t end = tw::NowMs() + options.verifyTimeoutMs;
  const int pause = std::max(options.verifyPauseMs, 10);
  const int attempts = options.verifyTimeoutMs / pause + 2;
  bool sawAway = false;
  std::optional<Orientation> other;
  Failure lastFailure;
  report.verified = false;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (!PauseUntil(std::min(tw::NowMs() + pause, end), stop)) {
      SetStatus(report, Status::kVerifyInterrupted,
                "Not verified: the run was stopped while waiting for the restart");
      return;
    }
    if (tw::NowMs() >= end) break;
    CameraAccess again = access;
    again.deadlineAtMs = end;
    const QueryResult q = QueryOrientation(again);
    if (!ValuesRead(q)) {
      sawAway = true;
      // The wait's own end cuts the last attempts short; an earlier cause says more.
      if (q.failure.cause != Cause::kDeadline || lastFailure.cause == Cause::kNone) {
        lastFailure = q.failure;
      }
      continue;
    }
    const Orientation got{q.flip != 0, q.mirror != 0};
    if (got == job.wanted) {
      report.verified = true;
      report.after = got;
      report.note = "verified: the camera answered with the new values";
      return;
    }
    other = got;
    if (sawAway) break;
  }
  if (other) {
    report.after = other;
    SetStatus(report, Status::kNotApplied,
              "Not applied: the camera came back with " + Describe(*other));
  } else {
    SetStatus(report, Status::kNoAnswerAfterRestart,
              "Not verified: no answer within " + std::to_string(options.verifyTimeoutMs / 1000) +
                  " s after the set");
    if (lastFailure.cause != Cause::kNone) {
      SetFailure(report, lastFailure);
      report.detail = "last failure: " + report.detail;
    }
  }
}

void RunSet(const Job& job, const CameraAccess& access, const RunOptions& options,
            const std::atomic<bool>& stop, CameraReport& report) {
  // A dry run stays one whatever the camera answers, so a failure never reads as a set.
  report.action = options.dryRun ? Action::kDryRun : Action::kSet;
  if (!options.force) {
    const QueryResult q = QueryOrientation(access);
    // A camera whose values are unknown gets no set command: it may already be as wanted.
    if (!TakeRead(report, q)) return;
    const Orientation current{q.flip != 0, q.mirror != 0};
    report.before = current;
    if (options.dryRun) {
      report.action = Action::kDryRun;
      report.after = job.wanted;
      if (current == job.wanted) {
        SetStatus(report, Status::kWouldKeep, "Already as wanted: nothing would be sent");
      } else {
        SetStatus(report, Status::kWouldSet, "Would set " + Describe(job.wanted));
      }
      return;
    }
    if (current == job.wanted) {
      report.action = Action::kSkip;
      report.after = current;
      SetStatus(report, Status::kAlreadySet, "Already as wanted: nothing sent");
      return;
    }
  }
  Failure failure;
  const Outcome outcome =
      SetOrientation(access, job.wanted.flip ? 1 : 0, job.wanted.mirror ? 1 : 0, &failure);
  SetFromOutcome(report, outcome, failure);
  if (outcome != Outcome::kSetSuccess) return;
  report.after = job.wanted;
  if (options.verify) Verify(job, access, options, stop, report);
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
  const std::int64_t start = tw::NowMs();
  CameraReport report;
  report.host = job.host;
  report.port = job.port;
  CameraAccess access;
  access.ip = job.host.c_str();
  access.port = job.port;
  access.user = job.user.c_str();
  access.password = options.password.c_str();
  access.timeoutMs = options.timeoutMs;
  access.deadlineAtMs = start + options.deadlineMs;

  if (options.mode == Mode::kQuery) {
    report.action = Action::kQuery;
    const QueryResult q = QueryOrientation(access);
    if (TakeRead(report, q)) {
      SetFromOutcome(report, q.outcome, q.failure);
      report.before = report.after = Orientation{q.flip != 0, q.mirror != 0};
    }
  } else {
    RunSet(job, access, options, stop, report);
  }
  // The procedures cannot know how long the deadline was; say it where it decided.
  if (report.cause == Cause::kDeadline && !report.verified.has_value()) {
    report.detail = std::string(RequestName(report.request)) + ": cut off by the deadline of " +
                    std::to_string(options.deadlineMs / 1000) + " s";
  }
  report.elapsedMs = tw::NowMs() - start;
  return report;
}

std::vector<CameraReport> RunJobs(const std::vector<Job>& jobs, const RunOptions& options,
                                  const std::atomic<bool>& stop,
                                  const std::function<void(const CameraReport&)>& onReport,
                                  const std::function<void(const Progress&)>& onTick, int tickMs) {
  const std::int64_t start = tw::NowMs();
  std::vector<std::optional<CameraReport>> results(jobs.size());
  std::mutex mu;
  std::condition_variable changed;
  Progress progress;
  progress.total = jobs.size();
  size_t next = 0;
  size_t workersLeft = 0;

  auto work = [&] {
    std::unique_lock<std::mutex> lock(mu);
    for (;;) {
      if (stop.load() || next >= jobs.size()) break;
      const size_t i = next++;
      ++progress.running;
      lock.unlock();
      CameraReport report = RunOne(jobs[i], options, stop);
      report.index = i;
      lock.lock();
      --progress.running;
      ++progress.done;
      if (!report.ok) ++progress.failed;
      if (onReport) onReport(report);
      results[i] = std::move(report);
      changed.notify_all();
    }
    --workersLeft;
    changed.notify_all();
  };

  const size_t wanted = std::min<size_t>(std::max(options.jobs, 1), jobs.size());
  std::vector<std::thread> pool;
  pool.reserve(wanted);
  {
    std::lock_guard<std::mutex> lock(mu);
    workersLeft = wanted;
  }
  for (size_t t = 0; t < wanted; ++t) {
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      // The system gives no more threads: go on with the ones there are, or this one.
      std::lock_guard<std::mutex> lock(mu);
      workersLeft -= wanted - t;
      break;
    }
  }
  if (pool.empty()) {
    if (!jobs.empty()) {
      workersLeft = 1;
      work();
    }
  } else {
    std::unique_lock<std::mutex> lock(mu);
    while (workersLeft > 0) {
      changed.wait_for(lock, std::chrono::milliseconds(std::max(tickMs, 10)));
      progress.stopping = stop.load();
      progress.elapsedMs = tw::NowMs() - start;
      if (onTick) {
        const Progress now = progress;
        lock.unlock();
        onTick(now);
        lock.lock();
      }
    }
  }
  for (std::thread& t : pool) t.join();

  std::vector<CameraReport> ordered;
  ordered.reserve(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (!results[i]) {
      CameraReport r;
      r.index = i;
      r.host = jobs[i].host;
      r.port = jobs[i].port;
      r.action = options.mode == Mode::kQuery ? Action::kQuery : Action::kSet;
      SetStatus(r, Status::kNotStarted, "Not started: the run was stopped first");
      ++progress.done;
      ++progress.failed;
      if (onReport) onReport(r);
      results[i] = std::move(r);
    }
    ordered.push_back(std::move(*results[i]));
  }
  progress.running = 0;
  progress.stopping = stop.load();
  progress.elapsedMs = tw::NowMs() - start;
  if (onTick) onTick(progress);
  return ordered;
}

}  // namespace cli
