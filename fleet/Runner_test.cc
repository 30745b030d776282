// The runner against the camera simulator on loopback, in this process.
#include "fleet/Runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "camsim/CameraSim.h"
#include "tests/TestProcess.h"

namespace fleet {
namespace {

constexpr char kPassword[] = "quillpen";

struct Fleet {
  explicit Fleet(camsim::SimulatorOptions options) : sim(std::move(options)) {
    std::string error;
    started = sim.Start(&error);
    EXPECT_TRUE(started) << error;
  }
  int port(size_t i) const { return sim.ports().at(i); }
  // How many requests went to `port` for paths starting with `path`.
  size_t Count(int port, const std::string& path) const {
    const auto records = sim.requests();
    return static_cast<size_t>(std::count_if(records.begin(), records.end(), [&](const auto& r) {
      return r.port == port && r.path.rfind(path, 0) == 0;
    }));
  }
  camsim::CameraSimulator sim;
  bool started = false;
};

camsim::SimulatorOptions Cameras(int count) {
  camsim::SimulatorOptions o;
  o.port = 0;
  o.cameras = count;
  o.password = kPassword;
  return o;
}

Job JobFor(int port, Orientation wanted = {}) {
  Job job;
  job.address = tw::IPv4Address::FromHostOrder(0x7f000001);
  job.port = port;
  job.user = "admin";
  job.wanted = wanted;
  return job;
}

RunOptions Options(Mode mode) {
  RunOptions o;
  o.mode = mode;
  o.password = kPassword;
  o.timeoutMs = 2000;
  o.deadlineMs = 10000;
  o.verifyPauseMs = 100;
  o.verifySettleMs = 0;
  return o;
}

const std::atomic<bool> kNoStop{false};

TEST(CameraCourse, QueryAndSetOneCamera) {
  camsim::SimulatorOptions so = Cameras(1);
  so.flip = 1;
  Fleet fleet(so);
  ASSERT_TRUE(fleet.started);
  const int port = fleet.port(0);

  CameraReport q = RunOne(JobFor(port), Options(Mode::kQuery), kNoStop);
  EXPECT_EQ(q.status, Status::kQueried);
  EXPECT_TRUE(q.ok);
  EXPECT_EQ(q.action, Action::kQuery);
  EXPECT_EQ(q.message, "");
  EXPECT_EQ(q.detail, "");
  ASSERT_TRUE(q.before.has_value());
  EXPECT_EQ(*q.before, (Orientation{true, false}));

  CameraReport s = RunOne(JobFor(port, {false, true}), Options(Mode::kSet), kNoStop);
  EXPECT_EQ(s.status, Status::kSetSuccess);
  EXPECT_EQ(s.action, Action::kSet);
  EXPECT_EQ(s.message, "Set success, camera rebooting.");
  EXPECT_EQ(s.before, std::optional<Orientation>(Orientation{true, false}));
  EXPECT_EQ(s.wanted, std::optional<Orientation>(Orientation{false, true}));
  EXPECT_FALSE(s.after.has_value());  // sent, not read back
  const auto state = fleet.sim.state(port);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->flip, 0);
  EXPECT_EQ(state->mirror, 1);
  EXPECT_EQ(fleet.Count(port, "/param.cgi?cmd=setmotorrange&-flip=0&-mirror=1"), 1u);

  // Already as wanted: read, not written (no needless restart).
  CameraReport skip = RunOne(JobFor(port, {false, true}), Options(Mode::kSet), kNoStop);
  EXPECT_EQ(skip.action, Action::kSkip);
  EXPECT_EQ(skip.status, Status::kAlreadySet);
  EXPECT_TRUE(skip.ok);
  EXPECT_EQ(fleet.Count(port, "/param.cgi?cmd=setmotorrange"), 1u);

  // --force: the set procedure alone, probe and command, even when nothing would change.
  const size_t before = fleet.sim.request_count();
  RunOptions force = Options(Mode::kSet);
  force.force = true;
  CameraReport forced = RunOne(JobFor(port, {false, true}), force, kNoStop);
  EXPECT_EQ(forced.status, Status::kSetSuccess);
  EXPECT_FALSE(forced.before.has_value());
  const auto records = fleet.sim.requests();
  ASSERT_EQ(records.size(), before + 2);
  EXPECT_EQ(records[before].path, "/qx.html");
  EXPECT_EQ(records[before + 1].path, "/param.cgi?cmd=setmotorrange&-flip=0&-mirror=1");
}

// The procedures' own outcomes and texts come through; Set's silent refusal becomes a failure.
TEST(CameraCourse, RefusalsAndFailuresKeepTheProceduresTexts) {
  camsim::SimulatorOptions so = Cameras(4);
  so.overrides.push_back({{true, 0}, std::nullopt, 72, std::nullopt, std::nullopt});
  so.overrides.push_back({{true, 1}, std::nullopt, 73, std::nullopt, std::nullopt});
  so.overrides.push_back({{true, 2}, std::nullopt, std::nullopt, std::nullopt, "other"});
  Fleet fleet(so);
  ASSERT_TRUE(fleet.started);
  const int hv = fleet.port(0), refused = fleet.port(1), wrongPassword = fleet.port(2);
  const int nobody = cli_test::UnusedPort();
  RunOptions query = Options(Mode::kQuery);
  RunOptions set = Options(Mode::kSet);
  RunOptions force = Options(Mode::kSet);
  force.force = true;
  const Orientation wanted{true, true};

  const char kUnauthorized[] = "HTTP/1.1 401 Unauthorized: wrong user name or password";
  const char kNoAnswer[] = "no answer: connection refused or closed without a reply";
  struct Case {
    int port;
    const RunOptions* options;
    Status status;
    const char* message;
    std::string detail;
  } cases[] = {
      {hv, &query, Status::kDeviceTypeHV, "Device type error HV!",
       "chip type 72: this model's orientation cannot be set with this tool"},
      {hv, &set, Status::kDeviceTypeHV, "Device type error HV!",
       "chip type 72: this model's orientation cannot be set with this tool"},
      {hv, &force, Status::kDeviceTypeHV, "Device type error HV!",
       "chip type 72: this model's orientation cannot be set with this tool"},
      {refused, &query, Status::kCameraTypeError, "Query camera info - get camera type error",
       "chip type 73: this model's orientation cannot be set with this tool"},
      {refused, &set, Status::kCameraTypeError, "Query camera info - get camera type error",
       "chip type 73: this model's orientation cannot be set with this tool"},
      {refused, &force, Status::kSetRefused,
       "Set refused for this camera type (chip type 70, 73 or 74): nothing was changed",
       "chip type 73: this model's orientation cannot be set with this tool"},
      {wrongPassword, &query, Status::kQueryInfoFailed, "Failed to query camera info",
       std::string("information page: ") + kUnauthorized},
      {wrongPassword, &force, Status::kSetFailed, "Failed to set new Camera PTZ",
       std::string("information page: ") + kUnauthorized},
      {nobody, &query, Status::kQueryInfoFailed, "Failed to query camera info",
       std::string("information page: ") + kNoAnswer},
      {nobody, &force, Status::kDeviceTypeNVR, "Device type error NVR!",
       std::string("setmotorrange: ") + kNoAnswer},
  };
  for (const Case& c : cases) {
    CameraReport r = RunOne(JobFor(c.port, wanted), *c.options, kNoStop);
    EXPECT_EQ(r.status, c.status) << c.port << " " << c.message;
    EXPECT_FALSE(r.ok) << c.message;
    EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(r.detail, c.detail) << c.message;
    EXPECT_FALSE(r.after.has_value()) << c.message;
    // Without a reply nobody can tell whether the set went out: restore must consider it.
    EXPECT_EQ(r.note, c.status == Status::kDeviceTypeNVR
                          ? "no reply to the set: it may have gone out and been taken"
                          : "")
        << c.message;
  }
  for (int port : {hv, refused, wrongPassword}) {
    EXPECT_EQ(fleet.sim.state(port)->flip, 0) << port;
  }
  EXPECT_EQ(fleet.Count(refused, "/param.cgi?cmd=setmotorrange"), 0u);
}

TEST(CameraCourse, VerifyWaitsForTheRestart) {
  camsim::SimulatorOptions so = Cameras(2);
  so.reboot_time = std::chrono::milliseconds(1000);
  Fleet fleet(so);
  ASSERT_TRUE(fleet.started);
  RunOptions o = Options(Mode::kSet);
  o.verify = true;
  o.verifyTimeoutMs = 10000;

  CameraReport r = RunOne(JobFor(fleet.port(0), {true, false}), o, kNoStop);
  EXPECT_EQ(r.status, Status::kSetSuccess) << r.message;
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.verified, std::optional<bool>(true));
  EXPECT_EQ(r.after, std::optional<Orientation>(Orientation{true, false}));
  // It came back only after the restart, so some attempt met the camera away.
  EXPECT_GE(r.elapsedMs, 900);

  // A camera that comes back with its old values did not take the change.
  const int port = fleet.port(1);
  std::thread revert([&] {
    for (int i = 0; i < 200 && fleet.Count(port, "/param.cgi?cmd=setmotorrange") == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fleet.sim.SetState(port, 0, 0);
  });
  o.verifyTimeoutMs = 3000;  // other values are read again until then: it may restart again
  CameraReport lost = RunOne(JobFor(port, {true, true}), o, kNoStop);
  revert.join();
  EXPECT_EQ(lost.status, Status::kNotApplied) << lost.message;
  EXPECT_FALSE(lost.ok);
  EXPECT_EQ(lost.message, "Not applied: the camera came back with Flip off, Mirror off");
  EXPECT_EQ(lost.verified, std::optional<bool>(false));
  EXPECT_EQ(lost.after, std::optional<Orientation>(Orientation{false, false}));
}

TEST(CameraCourse, VerifyGivesUpAtItsTimeLimit) {
  camsim::SimulatorOptions so = Cameras(2);
  so.reboot_time = std::chrono::milliseconds(30000);
  Fleet fleet(so);
  ASSERT_TRUE(fleet.started);
  RunOptions o = Options(Mode::kSet);
  o.verify = true;
  o.verifyTimeoutMs = 1000;
  CameraReport r = RunOne(JobFor(fleet.port(0), {true, false}), o, kNoStop);
  EXPECT_EQ(r.status, Status::kNoAnswerAfterRestart);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Not verified: no answer within 1 s after the set");
  // The restarting camera refuses; the wait's own end is no cause worth naming.
  EXPECT_EQ(r.detail,
            "last failure: information page: no answer: connection refused or closed "
            "without a reply");
  EXPECT_EQ(r.verified, std::optional<bool>(false));
  EXPECT_LT(r.elapsedMs, 8000);

  // A stop request ends the wait at once instead.
  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    for (int i = 0; i < 200 && fleet.Count(fleet.port(1), "/param.cgi?cmd=setmotorrange") == 0;
         ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop = true;
  });
  o.verifyTimeoutMs = 60000;
  CameraReport cut = RunOne(JobFor(fleet.port(1), {true, false}), o, stop);
  stopper.join();
  EXPECT_EQ(cut.status, Status::kVerifyInterrupted) << StatusName(cut.status);
  EXPECT_EQ(cut.message, "Not verified: the run was stopped while waiting for the restart");
  EXPECT_LT(cut.elapsedMs, 20000);
}

}  // namespace
}  // namespace fleet
