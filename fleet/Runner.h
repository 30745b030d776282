// Runs the Query and Set procedures over many cameras at once and turns each camera's outcome
// into one report. No output of its own: progress and reports go to an observer.
#ifndef TILTWISE_FLEET_RUNNER_H_
#define TILTWISE_FLEET_RUNNER_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/IPv4Address.h"
#include "camera/CameraProcedures.h"
#include "fleet/Logins.h"
#include "fleet/Targets.h"

namespace fleet {

enum class Mode { kQuery, kSet };

struct Orientation {
  bool flip = false;
  bool mirror = false;
  friend bool operator==(const Orientation& a, const Orientation& b) {
    return a.flip == b.flip && a.mirror == b.mirror;
  }
  friend bool operator!=(const Orientation& a, const Orientation& b) { return !(a == b); }
};

// One camera's work, with the list's and the options' values already merged.
struct Job {
  tw::IPv4Address address;
  int port = 80;
  std::string user;
  Orientation wanted;  // kSet only
  // kSet: the camera's current value stands for this part of `wanted` (read first).
  bool keepFlip = false;
  bool keepMirror = false;
  std::string name;  // from the input, for the reports
  std::string location;
  Cells extra;
  // restore: what the earlier set sent, with `wanted` the values before it. Only the values
  // that set changed and that the camera still holds as it wrote them are put back.
  std::optional<Orientation> restoreSent;
  int login = 0;        // the login to try first (from 1); 0: in their order
  bool digest = false;  // known to want Digest: the first request fetches the challenge
};

struct RunOptions {
  Mode mode = Mode::kQuery;
  bool force = false;   // kSet: no query first, just the set procedure
  bool dryRun = false;  // kSet: query and compare, send no set command
  bool verify = false;  // kSet: after a set, wait for the restart and read the values back
  std::string password;
  // The logins in their numbers' order; login 1 takes the job's user when `sourcesFirst` (the
  // password sources gave it). Empty: `password` with the job's user is the only one.
  std::vector<Credential> logins;
  bool sourcesFirst = true;
  int jobs = 16;
  int timeoutMs = 3000;    // each socket wait
  int deadlineMs = 30000;  // the query and set of one camera together
  int verifyTimeoutMs = 120000;
  // Before the first attempt to reach a restarting camera, growing from there: short, so a
  // quick restart is still seen (a camera never seen away waits out the settle time).
  int verifyPauseMs = 250;
  // A camera never seen away is taken as verified only after this long with the new values
  // (it may restart late and come back without them); 0 for cameras that apply at once.
  int verifySettleMs = 10000;
  // kSet: cameras between their read and their return after the set; one that has not come
  // back keeps its place after its verify time is over, until it answers. 0: no limit.
  int maxRestarting = 0;
  // kSet: this many cameras set and verified before any other is set; cameras already as
  // wanted do not count, and a failure in that phase stops the run.
  int canary = 0;
  int maxFailures = 0;  // no new camera after this many failures; 0: no limit
  int tickMs = 200;     // how often a run's observer gets its Tick
};

// What was done to a camera; "skip" is a set that found the camera already as wanted.
enum class Action { kQuery, kSet, kSkip, kDryRun };

enum class Status {
  // successes
  kQueried,
  kSetSuccess,
  kAlreadySet,
  kAlreadyRestored,  // restore found nothing left to put back
  kWouldSet,
  kWouldKeep,
  // the procedures' failures
  kQueryInfoFailed,
  kCameraTypeError,
  kDeviceTypeHV,
  kDeviceTypeNVR,
  kSetFailed,
  kSetRefused,  // Set's silent refusal of chip types 70, 73, 74
  // after a set with verification
  kNotApplied,
  kNoAnswerAfterRestart,
  kVerifyInterrupted,
  kNotStarted,   // no turn: the run was stopped, or halted (the cause says why)
  kNotRead,      // the camera answered, but its Flip and Mirror could not be read whole
  kInterrupted,  // stopped at once while under way: whether a set went out is unknown
};

const char* ActionName(Action action);  // "query", "set", "skip", "dry-run"
const char* StatusName(Status status);  // "queried", "set", "device-type-hv", ...
bool IsSuccess(Status status);
Status StatusFor(Outcome outcome);
// A failure's detail for the tool's users: a refused chip type in plain words.
std::string DetailFor(const Failure& failure);

struct CameraReport {
  size_t index = 0;  // place in the job list
  std::string host;
  int port = 0;
  std::string user;  // so a report can be run again or restored without the list
  std::string name;
  std::string location;
  Cells extra;  // the list's own columns
  Action action = Action::kQuery;
  Status status = Status::kNotStarted;
  bool ok = false;
  // The procedure's own text where it has one; otherwise a description of the outcome.
  std::string message;
  // What caused a failure, as data and in words: the request that decided it and why
  // ("getmotorrange: HTTP/1.1 401 Unauthorized: wrong user name or password").
  Cause cause = Cause::kNone;
  Request request = Request::kNone;
  std::string detail;
  std::string note;  // extra facts: the deadline cut the camera off, the values were verified
  std::optional<Orientation> before;  // as read before any change
  std::optional<Orientation> wanted;  // what the set sends, or (dry run) would send
  std::optional<Orientation> after;   // only as read: skipped, verified or come back other
  std::optional<bool> verified;       // only when verification was asked for and a set was sent
  std::int64_t elapsedMs = 0;
  int login = 0;     // the login the camera let in, from 1; 0: none did, or not known
  std::string auth;  // "basic" or "digest" once the camera answered a login; empty: unknown
  int chipType = 0;  // as the camera named it on a read; 0: unknown. Not in the report files.
  // set: what was asked for this camera, `keep` included, so a report alone can run it again.
  std::optional<Want> flipWanted;
  std::optional<Want> mirrorWanted;
};

// "40 cameras: 38 ok, 2 failed (1 not started), 12.5 s": a run's end in one line.
std::string RunSummary(const std::vector<CameraReport>& reports, std::int64_t elapsedMs);

// The system's socket library, for the runs and scans of a process: started before the first,
// ended after the last. False when it cannot be started.
// Every exchange of the process, once it ends, told to `trace` (any thread): the address, the
// request's first line (never the credentials) and the reply's status line, or "" without one.
using ExchangeTrace = void (*)(const char* ip, int port, const char* requestLine,
                               const char* statusLine, long long elapsedMs);
void TraceExchanges(ExchangeTrace trace);

bool StartNetwork();
void EndNetwork();

class CameraSteps;
struct Schedule;  // what a run's workers share (Runner.cc)

// One camera from start to end, its verification wait included. Stops early only inside
// that wait.
CameraReport RunOne(const Job& job, const RunOptions& options, const std::atomic<bool>& stop);

struct Progress {
  size_t total = 0;
  size_t done = 0;
  size_t failed = 0;
  size_t running = 0;     // started and not finished, waiting for a restart included
  size_t restarting = 0;  // set and waiting to be read back
  bool stopping = false;
  std::int64_t elapsedMs = 0;
};

// What a run tells as it goes. Every call but Tick comes from a worker thread (or, for the
// cameras never started or cut off, from the thread in Run::Execute), one call at a time under
// the run's lock: an observer must not block, and may call back into the run only with Stop
// and HardStop.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void Started(const Job& job, size_t index);
  // kSet: the values a camera holds and the values its set sends, once read and before the set
  // goes out. False: the camera gets no set and the run stops.
  virtual bool Read(const Job& job, const Orientation& before, const Orientation& wanted);
  virtual void SetSent(const Job& job, size_t index);
  virtual void Restarting(const Job& job, size_t index);
  // Answering again after its set, whether with the values or not; a camera reported as not
  // back when it holds a restarting place, once it answers.
  virtual void Back(const Job& job, size_t index);
  // Every report exactly once, in the order cameras finish.
  virtual void Finished(const CameraReport& report);
  // On the thread in Run::Execute about every options.tickMs while cameras run, and once at
  // the end.
  virtual void Tick(const Progress& progress);
};

// One run over many cameras, with at most options.jobs exchanges at once. A camera waiting for
// its restart holds no slot: the slots serve the due read-backs first, then new cameras. Once
// stopped, or a camera failed while the canaries were verified, or options.maxFailures were
// reached, or every restarting place is held by cameras that did not come back, no further
// camera is started: the ones under way finish, their restart waits included, and each camera
// never started gets a kNotStarted report with the cause, reported last.
class Run {
 public:
  // `steps`: what each camera's course asks of its camera; none: the procedures over the
  // network.
  Run(std::vector<Job> jobs, RunOptions options, RunObserver* observer = nullptr,
      std::shared_ptr<CameraSteps> steps = nullptr);
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Runs every job, once; returns the reports in job order.
  std::vector<CameraReport> Execute();
  // No further camera is started. From any thread, at any time; lock-free, so also from a
  // signal handler.
  void Stop();
  // The run ends at once: cameras under way are abandoned and reported kInterrupted (their
  // exchanges go on in the background until their own limits). From any thread.
  void HardStop();
  bool HardStopped() const;

 private:
  std::shared_ptr<Schedule> s_;
};

}  // namespace fleet

#endif  // TILTWISE_FLEET_RUNNER_H_
