#include "fleet/CameraCourse.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "base/Clock.h"

namespace fleet {
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

void SetFailure(CameraReport& report, const Failure& failure) {
  report.cause = failure.cause;
  report.request = failure.request;
  report.detail = DetailFor(failure);
}

void UseLogin(CameraWork& w, size_t at) {
  const Login& login = w.logins[at];
  w.loginAt = at;
  w.access.user = login.credential.user.c_str();
  w.access.password = login.credential.password.c_str();
  w.report.user = login.credential.user;
  w.report.login = login.number;
}

// Only a 401 is a refusal that another login may get past; a lockout (403, 423, 429), or
// anything else, ends the tries on this camera.
bool NextLogin(CameraWork& w, const Failure& failure) {
  if (failure.cause != Cause::kUnauthorized || w.loginAt + 1 >= w.logins.size()) return false;
  UseLogin(w, w.loginAt + 1);
  return true;
}

QueryResult QueryWithLogins(CameraWork& w) {
  for (;;) {
    const QueryResult q = w.steps->Read(w.access);
    if (q.chipType != 0) w.report.chipType = q.chipType;
    if (!NextLogin(w, q.failure)) return q;
  }
}

void SetFromOutcome(CameraReport& report, Outcome outcome, const Failure& failure) {
  SetStatus(report, StatusFor(outcome), MessageOf(outcome));
  SetFailure(report, failure);
}

Orientation ReadValues(const QueryResult& q) {
  return Orientation{q.flip != 0, q.mirror != 0};
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

// A camera that is not there: refused, reset, silent or cut off. Any other answer, even a
// refusal of the login, shows it is back.
bool Away(const QueryResult& q) {
  if (ValuesRead(q)) return false;
  const Cause c = q.failure.cause;
  return c == Cause::kRefused || c == Cause::kTimedOut || c == Cause::kDeadline;
}

// What restore puts back: of the values the earlier set changed, those the camera still
// holds as that set wrote them. Newer changes by others stay.
Orientation RestoreTarget(const Job& job, const Orientation& current) {
  const Orientation& before = job.wanted;
  const Orientation& sent = *job.restoreSent;
  Orientation target = current;
  if (sent.flip != before.flip && current.flip == sent.flip) target.flip = before.flip;
  if (sent.mirror != before.mirror && current.mirror == sent.mirror) target.mirror = before.mirror;
  return target;
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

void StartWait(CameraWork& w, const RunOptions& options) {
  const std::int64_t now = tw::NowMs();
  w.report.verified = false;
  w.verifyEnd = now + options.verifyTimeoutMs;
  w.settleEnd = now + std::clamp(options.verifySettleMs, 0, options.verifyTimeoutMs);
  w.pauseMs = std::max(options.verifyPauseMs, 10);
  w.maxPauseMs = std::max(w.pauseMs, std::min(8 * w.pauseMs, 5000));
}

void Verified(CameraWork& w, const Orientation& got) {
  CameraReport& report = w.report;
  report.verified = true;
  report.after = got;
  if (w.replyLost) {
    // The values show the set was taken; the reply was lost in the restart.
    SetStatus(report, Status::kSetSuccess,
              "Set, and verified: the camera came back with the new values although the "
              "reply to the set was lost");
    report.note = "verified after a lost reply: " + report.detail;
    report.cause = Cause::kNone;
    report.request = Request::kNone;
    report.detail.clear();
    return;
  }
  report.note = w.sawAway ? "verified: the camera came back with the new values"
                          : "verified: the camera held the new values through the settle time";
}

void EndVerify(CameraWork& w, const RunOptions& options) {
  CameraReport& report = w.report;
  if (w.lastRead && *w.lastRead == w.target && !w.away) {
    // Never seen away, and still as set when the whole wait is over.
    Verified(w, *w.lastRead);
    return;
  }
  if (w.lastRead && !w.away) {
    report.after = w.lastRead;
    SetStatus(report, Status::kNotApplied,
              "Not applied: the camera came back with " + Describe(*w.lastRead));
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

}  // namespace

void SetStatus(CameraReport& report, Status status, std::string message) {
  report.status = status;
  report.ok = IsSuccess(status);
  report.message = std::move(message);
}

CameraReport NewReport(const Job& job, size_t index, const RunOptions& options) {
  CameraReport r;
  r.index = index;
  r.host = job.address.ToString();
  r.port = job.port;
  r.user = job.user;
  r.name = job.name;
  r.location = job.location;
  r.extra = job.extra;
  r.action = options.mode == Mode::kQuery ? Action::kQuery
             : options.dryRun             ? Action::kDryRun
                                          : Action::kSet;
  r.login = job.login;
  if (options.mode == Mode::kSet) {
    r.flipWanted = job.keepFlip ? Want::kKeep : job.wanted.flip ? Want::kOn : Want::kOff;
    r.mirrorWanted = job.keepMirror ? Want::kKeep : job.wanted.mirror ? Want::kOn : Want::kOff;
  }
  return r;
}

namespace {

class Network : public CameraSteps {
 public:
  QueryResult Read(const CameraAccess& camera) override { return QueryOrientation(camera); }
  Outcome Set(const CameraAccess& camera, int flip, int mirror, Failure* failure) override {
    return SetOrientation(camera, flip, mirror, failure);
  }
};

}  // namespace

std::shared_ptr<CameraSteps> NetworkSteps() {
  return std::make_shared<Network>();
}

std::unique_ptr<CameraWork> Begin(const Job& job, size_t index, const RunOptions& options,
                                  bool verify, CameraSteps& steps) {
  auto w = std::make_unique<CameraWork>();
  w->steps = &steps;
  w->job = job;
  w->start = tw::NowMs();
  w->verify = verify && options.mode == Mode::kSet && !options.dryRun;
  w->report = NewReport(job, index, options);
  w->access.address = job.address;
  w->access.port = job.port;
  w->access.user = job.user.c_str();
  w->access.password = options.password.c_str();
  w->access.timeoutMs = options.timeoutMs;
  w->access.deadlineAtMs = w->start + options.deadlineMs;
  w->access.auth = &w->auth;
  w->auth.digest = job.digest;
  w->logins =
      LoginOrder(options.logins.empty() ? std::vector<Credential>{{job.user, options.password}}
                                        : options.logins,
                 options.sourcesFirst || options.logins.empty(), job.user, job.login);
  if (!w->logins.empty()) UseLogin(*w, 0);
  return w;
}

bool ReadAndSet(CameraWork& w, const RunOptions& options, const BeforeSet& beforeSet) {
  CameraReport& report = w.report;
  if (options.mode == Mode::kQuery) {
    report.action = Action::kQuery;
    const QueryResult q = QueryWithLogins(w);
    if (TakeRead(report, q)) {
      SetFromOutcome(report, q.outcome, q.failure);
      report.before = report.after = ReadValues(q);
    }
    return false;
  }
  // A dry run stays one whatever the camera answers, so a failure never reads as a set.
  report.action = options.dryRun ? Action::kDryRun : Action::kSet;
  Orientation target = w.job.wanted;
  if (!options.force) {
    const QueryResult q = QueryWithLogins(w);
    // A camera whose values are unknown gets no set command: it may already be as wanted.
    if (!TakeRead(report, q)) return false;
    const Orientation current = ReadValues(q);
    report.before = current;
    if (w.job.keepFlip) target.flip = current.flip;
    if (w.job.keepMirror) target.mirror = current.mirror;
    if (w.job.restoreSent) target = RestoreTarget(w.job, current);
    if (current == target) {
      report.action = options.dryRun ? Action::kDryRun : Action::kSkip;
      report.after = current;
      if (w.job.restoreSent) {
        SetStatus(report, Status::kAlreadyRestored,
                  "Nothing to put back: the camera no longer holds what that set wrote");
      } else {
        SetStatus(report, options.dryRun ? Status::kWouldKeep : Status::kAlreadySet,
                  options.dryRun ? "Already as wanted: nothing would be sent"
                                 : "Already as wanted: nothing sent");
      }
      return false;
    }
    report.wanted = target;
    if (options.dryRun) {
      SetStatus(report, Status::kWouldSet, "Would set " + Describe(target));
      return false;
    }
    if (beforeSet && !beforeSet(current, target)) {
      SetStatus(report, Status::kNotStarted,
                "Not set: its values before could not be written to the backup file");
      report.cause = Cause::kStopped;
      return false;
    }
  }
  report.wanted = target;
  Failure failure;
  Outcome outcome;
  do {
    outcome = w.steps->Set(w.access, target.flip ? 1 : 0, target.mirror ? 1 : 0, &failure);
  } while (options.force && NextLogin(w, failure));
  SetFromOutcome(report, outcome, failure);
  w.setSent = outcome == Outcome::kSetSuccess || failure.request == Request::kSetMotorRange;
  // No reply to a set that went out: a camera that restarts at once may close first.
  w.replyLost = outcome == Outcome::kDeviceTypeNVR && failure.request == Request::kSetMotorRange;
  if (w.replyLost) {
    report.note = "no reply to the set: it may have gone out and been taken";
  }
  if (outcome != Outcome::kSetSuccess && !w.replyLost) return false;
  if (!w.verify) return false;
  w.target = target;
  StartWait(w, options);
  return true;
}

// Only a read after the restart verifies: one after the camera was seen away, or one at the
// end of the settle time for a camera never seen away (it may go on answering with the new
// values for a while, then restart and lose them). Other values are read again until the
// time limit: some cameras restart twice.
std::int64_t VerifyAttempt(CameraWork& w, const RunOptions& options) {
  std::int64_t now = tw::NowMs();
  if (now < w.verifyEnd) {
    CameraAccess again = w.access;
    again.deadlineAtMs = w.verifyEnd;
    const QueryResult q = w.steps->Read(again);
    now = tw::NowMs();
    if (Away(q)) {
      w.sawAway = true;
      w.away = true;
      // The wait's own end cuts the last attempts short; an earlier cause says more.
      if (q.failure.cause != Cause::kDeadline || w.lastFailure.cause == Cause::kNone) {
        w.lastFailure = q.failure;
      }
    } else if (!ValuesRead(q)) {
      w.away = false;
      w.lastFailure = q.failure;
    } else {
      w.away = false;
      w.lastRead = ReadValues(q);
      if (*w.lastRead == w.target && (w.sawAway || now >= w.settleEnd)) {
        Verified(w, *w.lastRead);
        return 0;
      }
    }
    if (now < w.verifyEnd) {
      std::int64_t next = now + w.pauseMs;
      w.pauseMs = std::min(w.pauseMs + w.pauseMs / 4, w.maxPauseMs);
      if (!w.sawAway && now < w.settleEnd) next = std::min(next, w.settleEnd);
      return std::min(next, w.verifyEnd);
    }
  }
  EndVerify(w, options);
  return 0;
}

bool AnswersNow(const CameraWork& w, const RunOptions& options) {
  CameraAccess again = w.access;
  again.deadlineAtMs = tw::NowMs() + options.deadlineMs;
  return !Away(w.steps->Read(again));
}

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

void InterruptVerify(CameraWork& w) {
  SetStatus(w.report, Status::kVerifyInterrupted,
            "Not verified: the run was stopped while waiting for the restart");
  w.report.cause = Cause::kStopped;
}

CameraReport Finish(CameraWork& w, const RunOptions& options) {
  CameraReport& report = w.report;
  // The procedures cannot know how long the deadline was; say it where it decided.
  if (report.cause == Cause::kDeadline && !report.verified.has_value()) {
    report.detail = std::string(RequestName(report.request)) + ": cut off by the deadline of " +
                    std::to_string(options.deadlineMs / 1000) + " s";
  }
  if (report.cause == Cause::kUnauthorized) {
    report.login = 0;  // none let it in
    if (w.logins.size() > 1) {
      report.detail += " (" + std::to_string(w.loginAt + 1) + " logins tried, each once)";
    }
  }
  // What the camera asked for, once it answered a login at all.
  const Cause c = report.cause;
  if (w.auth.digest || !(c == Cause::kRefused || c == Cause::kTimedOut || c == Cause::kDeadline ||
                         c == Cause::kBadAddress || c == Cause::kStopped)) {
    report.auth = AuthSchemeName(w.auth);
  }
  // A restore's set sends what it found to put back: that is what a retry wants.
  if (report.wanted && w.job.restoreSent) {
    report.flipWanted = report.wanted->flip ? Want::kOn : Want::kOff;
    report.mirrorWanted = report.wanted->mirror ? Want::kOn : Want::kOff;
  }
  // Every failure names a cause, even one the procedures do not give.
  if (!report.ok && report.cause == Cause::kNone) {
    report.cause = report.status == Status::kNotApplied             ? Cause::kNotApplied
                   : report.status == Status::kNoAnswerAfterRestart ? Cause::kTimedOut
                                                                    : Cause::kStopped;
  }
  report.elapsedMs = tw::NowMs() - w.start;
  return std::move(report);
}

}  // namespace fleet
