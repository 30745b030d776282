// One camera's course through a run: its read, its set, and the wait for its return. The pool in
// Runner.cc decides when each step runs; these steps never look at other cameras.
#ifndef TILTWISE_FLEET_CAMERACOURSE_H_
#define TILTWISE_FLEET_CAMERACOURSE_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cgi/Authorized.h"
#include "fleet/Runner.h"

namespace fleet {

// What a camera's course asks of the camera: the Query and Set procedures over the network,
// or, in the scheduler's tests, a fake camera. Called from the worker threads, for many
// cameras at once.
class CameraSteps {
 public:
  virtual ~CameraSteps() = default;
  // The read, and each read back after a set.
  virtual QueryResult Read(const CameraAccess& camera) = 0;
  virtual Outcome Set(const CameraAccess& camera, int flip, int mirror, Failure* failure) = 0;
};

// The procedures, over the network.
std::shared_ptr<CameraSteps> NetworkSteps();

struct CameraWork {
  CameraSteps* steps = nullptr;
  Job job;
  CameraReport report;
  CameraAccess access;
  std::int64_t start = 0;
  bool verify = false;
  Orientation target;      // what the set sent
  bool setSent = false;    // the set command went out, whatever came back
  bool replyLost = false;  // the set went out, its reply did not come back
  std::int64_t settleEnd = 0;
  std::int64_t verifyEnd = 0;
  int pauseMs = 0;  // before the next attempt to read it back
  int maxPauseMs = 0;
  bool sawAway = false;  // refused, reset or silent since the set
  bool away = true;      // not seen back since the set, or since it was last seen away
  std::optional<Orientation> lastRead;
  Failure lastFailure;
  AuthMemory auth;  // what this camera taught about its login, for every request of the run
  std::vector<Login> logins;  // in the order this camera gets them, each at most once
  size_t loginAt = 0;         // the one `access` holds
};

void SetStatus(CameraReport& report, Status status, std::string message);
// A camera's report before anything is known of it: who it is and what was meant for it.
CameraReport NewReport(const Job& job, size_t index, const RunOptions& options);

std::unique_ptr<CameraWork> Begin(const Job& job, size_t index, const RunOptions& options,
                                  bool verify, CameraSteps& steps);

// Reads the camera and, for a set, sends it; `beforeSet` sees the values read and the values
// to send just before a set goes out, and may hold it back. True when the camera was set (or
// may have been) and is to be read back.
using BeforeSet = std::function<bool(const Orientation& before, const Orientation& wanted)>;
bool ReadAndSet(CameraWork& w, const RunOptions& options, const BeforeSet& beforeSet);

// One attempt to read a restarted camera back: the time of the next one, or 0 when the
// camera's report is complete.
std::int64_t VerifyAttempt(CameraWork& w, const RunOptions& options);

// After its report: whether a camera that had not come back answers now.
bool AnswersNow(const CameraWork& w, const RunOptions& options);

// The restart wait in the caller's own thread; only `stop` cuts it short.
void WaitForReturn(CameraWork& w, const RunOptions& options, const std::atomic<bool>& stop);

void InterruptVerify(CameraWork& w);

// The report, with its time; the work is left without it.
CameraReport Finish(CameraWork& w, const RunOptions& options);

}  // namespace fleet

#endif  // TILTWISE_FLEET_CAMERACOURSE_H_
