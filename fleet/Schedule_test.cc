// The scheduler with cameras in memory: slots, restart waits, canary, limits and stops, each
// in milliseconds and without a socket.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "base/Clock.h"
#include "fleet/CameraCourse.h"
#include "fleet/Runner.h"

namespace fleet {
namespace {

constexpr int kFirstPort = 1000;

struct FakeCamera {
  int readMs = 2;
  bool refusesLogin = false;
  int restartMs = 40;     // away after a set; -1: never back
  bool keepsOld = false;  // comes back with the values it had
  Orientation holds{};
};

// Cameras by port. A set is taken at once; the camera is then away for its restart.
class FakeCameras : public CameraSteps {
 public:
  explicit FakeCameras(std::vector<FakeCamera> cameras)
      : cameras_(std::move(cameras)), awayUntil_(cameras_.size(), 0) {
    for (const FakeCamera& c : cameras_) values_.push_back(c.holds);
  }

  QueryResult Read(const CameraAccess& access) override {
    const size_t i = static_cast<size_t>(access.port - kFirstPort);
    std::unique_lock<std::mutex> lock(mu_);
    maxReading = std::max(maxReading, ++reading_);
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(cameras_[i].readMs));
    lock.lock();
    --reading_;
    QueryResult q;
    const bool away = awayUntil_[i] < 0 || tw::NowMs() < awayUntil_[i];
    if (away || cameras_[i].refusesLogin) {
      q.failure.cause = away ? Cause::kRefused : Cause::kUnauthorized;
      return q;
    }
    q.outcome = Outcome::kQueried;
    q.flip = values_[i].flip;
    q.mirror = values_[i].mirror;
    q.flipFound = q.mirrorFound = true;
    return q;
  }

  Outcome Set(const CameraAccess& access, int flip, int mirror, Failure*) override {
    const size_t i = static_cast<size_t>(access.port - kFirstPort);
    std::lock_guard<std::mutex> lock(mu_);
    setOrder.push_back(i);
    if (!cameras_[i].keepsOld) values_[i] = Orientation{flip != 0, mirror != 0};
    awayUntil_[i] = cameras_[i].restartMs < 0 ? -1 : tw::NowMs() + cameras_[i].restartMs;
    return Outcome::kSetSuccess;
  }

  size_t maxReading = 0;
  std::vector<size_t> setOrder;

 private:
  std::mutex mu_;
  const std::vector<FakeCamera> cameras_;
  std::vector<Orientation> values_;
  std::vector<std::int64_t> awayUntil_;
  size_t reading_ = 0;
};

// Every event as "E3" (event, camera); calls come one at a time.
struct Log : RunObserver {
  void Started(const Job&, size_t i) override { Add('S', i); }
  bool Read(const Job& job, const Orientation&, const Orientation&) override {
    Add('R', static_cast<size_t>(job.port - kFirstPort));
    return job.port - kFirstPort != refuseRead;
  }
  void SetSent(const Job&, size_t i) override { Add('T', i); }
  void Restarting(const Job&, size_t i) override {
    Add('W', i);
    maxRestarting = std::max(maxRestarting, ++restarting);
  }
  void Back(const Job&, size_t i) override {
    Add('B', i);
    --restarting;
  }
  void Finished(const CameraReport& r) override { Add('F', r.index); }
  void Add(char what, size_t i) {
    events.push_back(what + std::to_string(i));
    if (what == stopOn) run->Stop();
  }
  size_t Position(const std::string& e) const {
    return static_cast<size_t>(std::find(events.begin(), events.end(), e) - events.begin());
  }

  std::vector<std::string> events;
  size_t restarting = 0;
  size_t maxRestarting = 0;
  int refuseRead = -1;
  char stopOn = 0;
  Run* run = nullptr;
};

struct Site {
  explicit Site(std::vector<FakeCamera> cameras) : fake(std::make_shared<FakeCameras>(cameras)) {
    for (size_t i = 0; i < cameras.size(); ++i) {
      Job job;
      job.address = tw::IPv4Address::FromHostOrder(0x7f000001);
      job.port = kFirstPort + static_cast<int>(i);
      job.wanted = Orientation{true, true};
      jobs.push_back(job);
    }
    options.mode = Mode::kSet;
    options.verify = true;
    options.verifyPauseMs = 10;
    options.verifySettleMs = 0;
    options.verifyTimeoutMs = 3000;
    options.tickMs = 10;
  }
  std::vector<CameraReport> Execute() {
    fleet::Run run(jobs, options, &log, fake);
    log.run = &run;
    return run.Execute();
  }

  std::shared_ptr<FakeCameras> fake;
  std::vector<Job> jobs;
  RunOptions options;
  Log log;
};

TEST(Schedule, RestartWaitsHoldNoSlotAndEachCameraGoesItsWholeCourse) {
  Site b(std::vector<FakeCamera>(24));
  b.options.jobs = 2;
  const auto reports = b.Execute();
  for (const CameraReport& r : reports) {
    EXPECT_EQ(r.status, Status::kSetSuccess) << r.index;
    EXPECT_EQ(r.verified, std::optional<bool>(true)) << r.index;
    const std::string i = std::to_string(r.index);
    std::vector<size_t> at;
    for (const char* e : {"S", "R", "T", "W", "B", "F"}) at.push_back(b.log.Position(e + i));
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end()) && at.back() < b.log.events.size()) << i;
  }
  EXPECT_EQ(b.fake->setOrder.size(), 24u);
  EXPECT_LE(b.fake->maxReading, 2u);
  EXPECT_GT(b.log.maxRestarting, 2u);  // more cameras restarting than there are slots
}

TEST(Schedule, CanariesAreVerifiedFirstAndAFailureAmongThemStopsTheRest) {
  std::vector<FakeCamera> cameras(6);
  cameras[0].holds = Orientation{true, true};  // already as wanted: no canary
  Site good(cameras);
  good.options.verify = false;  // canaries are read back all the same
  good.options.canary = 2;
  good.options.jobs = 4;
  auto reports = good.Execute();
  EXPECT_EQ(reports[0].status, Status::kAlreadySet);
  for (size_t i : {1, 2}) {
    EXPECT_EQ(reports[i].verified, std::optional<bool>(true));
    for (size_t later : {3, 4, 5}) {
      EXPECT_LT(good.log.Position("F" + std::to_string(i)),
                good.log.Position("S" + std::to_string(later)));
    }
  }
  EXPECT_EQ(reports[5].verified, std::nullopt);

  cameras = std::vector<FakeCamera>(5);
  cameras[1].refusesLogin = true;
  Site bad(cameras);
  bad.options.canary = 2;
  reports = bad.Execute();
  EXPECT_EQ(reports[1].status, Status::kQueryInfoFailed);
  for (size_t i = 2; i < 5; ++i) {
    EXPECT_EQ(reports[i].status, Status::kNotStarted);
    EXPECT_EQ(reports[i].cause, Cause::kCanaryFailed);
    EXPECT_EQ(reports[i].message, "Not started: a camera failed while the canaries were verified");
  }
  EXPECT_EQ(bad.fake->setOrder, std::vector<size_t>{0});
}

TEST(Schedule, FailureLimitAndRestartingPlaces) {
  std::vector<FakeCamera> cameras(6);
  cameras[0].refusesLogin = cameras[1].refusesLogin = true;
  Site failing(cameras);
  failing.options.jobs = 1;
  failing.options.maxFailures = 2;
  auto reports = failing.Execute();
  EXPECT_EQ(reports[2].message, "Not started: 2 camera(s) had failed already");
  EXPECT_EQ(reports[5].cause, Cause::kMaxFailures);
  EXPECT_TRUE(failing.fake->setOrder.empty());

  // Two places; cameras 1 and 3 never come back and keep theirs.
  cameras = std::vector<FakeCamera>(8);
  cameras[1].restartMs = cameras[3].restartMs = -1;
  Site held(cameras);
  held.options.jobs = 4;
  held.options.maxRestarting = 2;
  held.options.verifyTimeoutMs = 80;
  reports = held.Execute();
  EXPECT_LE(held.log.maxRestarting, 2u);
  for (size_t i : {1, 3}) {
    EXPECT_EQ(reports[i].status, Status::kNoAnswerAfterRestart);
    EXPECT_EQ(reports[i].after, std::nullopt);  // never read back
  }
  EXPECT_EQ(reports[7].status, Status::kNotStarted);
  EXPECT_EQ(reports[7].cause, Cause::kRestartsNotBack);
  EXPECT_EQ(reports[7].message,
            "Not started: every restarting place is held by cameras that did not come back");
}

TEST(Schedule, StopLetsTheCamerasUnderWayFinishAndHardStopAbandonsThem) {
  Site stopped(std::vector<FakeCamera>(10));
  stopped.options.jobs = 3;
  stopped.log.stopOn = 'W';  // as if Ctrl-C came with the first set
  auto reports = stopped.Execute();
  size_t started = 0;
  for (const CameraReport& r : reports) {
    EXPECT_EQ(std::count(stopped.log.events.begin(), stopped.log.events.end(),
                         "F" + std::to_string(r.index)),
              1);
    if (r.status == Status::kNotStarted) {
      EXPECT_EQ(r.cause, Cause::kStopped);
    } else {
      ++started;
      EXPECT_EQ(r.verified, std::optional<bool>(true));  // restart waits under way finish
    }
  }
  EXPECT_GE(started, 1u);
  EXPECT_LE(started, 3u);

  // A backup line that cannot be written: that camera gets no set, and no camera after it.
  Site refused(std::vector<FakeCamera>(4));
  refused.options.jobs = 1;
  refused.log.refuseRead = 1;
  reports = refused.Execute();
  EXPECT_EQ(reports[1].status, Status::kNotStarted);
  EXPECT_EQ(reports[1].before, (Orientation{false, false}));
  EXPECT_EQ(reports[2].cause, Cause::kStopped);
  EXPECT_EQ(refused.fake->setOrder, std::vector<size_t>{0});

  std::vector<FakeCamera> slow(4);
  for (FakeCamera& c : slow) c.readMs = 2000;
  Site hard(slow);
  hard.options.jobs = 2;
  fleet::Run run(hard.jobs, hard.options, &hard.log, hard.fake);
  std::thread stopper([&run] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    run.HardStop();
  });
  reports = run.Execute();
  stopper.join();
  EXPECT_TRUE(run.HardStopped());
  EXPECT_EQ(reports[0].status, Status::kInterrupted);
  EXPECT_EQ(reports[0].message, "Interrupted: stopped at once while the camera was under way");
  EXPECT_EQ(reports[3].status, Status::kNotStarted);
}

TEST(Schedule, VerifySettlesACameraNeverSeenAwayAndCatchesOneThatLostTheSet) {
  std::vector<FakeCamera> cameras(2);
  cameras[0].restartMs = 0;  // takes the values without going away
  cameras[1].keepsOld = true;
  Site b(cameras);
  b.options.verifySettleMs = 100;
  b.options.verifyTimeoutMs = 200;
  const auto reports = b.Execute();
  EXPECT_EQ(reports[0].verified, std::optional<bool>(true));
  EXPECT_EQ(reports[0].note, "verified: the camera held the new values through the settle time");
  EXPECT_GE(reports[0].elapsedMs, 100);
  EXPECT_EQ(reports[1].status, Status::kNotApplied);
  EXPECT_EQ(reports[1].message, "Not applied: the camera came back with Flip off, Mirror off");
}

}  // namespace
}  // namespace fleet
