// tiltwise-cli scan against real peers on loopback: the simulator with one camera per address,
// scripted servers, and the program itself for the list it writes.
#include "fleet/Scan.h"

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "camsim/CameraSim.h"
#include "fleet/Ranges.h"
#include "tests/ScriptedPeer.h"
#include "tests/TestProcess.h"

namespace cli {
namespace {

constexpr char kPassword[] = "S3cret-Pa55word";

std::unique_ptr<camsim::CameraSimulator> StartSim(camsim::SimulatorOptions o) {
  o.port = 0;
  o.password = kPassword;
  auto sim = std::make_unique<camsim::CameraSimulator>(std::move(o));
  std::string error;
  EXPECT_TRUE(sim->Start(&error)) << error;
  return sim;
}

camsim::CameraOverride At(int index) {
  camsim::CameraOverride o;
  o.camera.by_index = true;
  o.camera.value = index;
  return o;
}

size_t InfoPageRequests(const camsim::CameraSimulator& sim, const std::string& host) {
  size_t n = 0;
  for (const auto& r : sim.requests()) n += r.host == host && r.path == "/qx.html";
  return n;
}

std::uint32_t Address(const char* text) {
  fleet::AddressRange r;
  std::string error;
  EXPECT_TRUE(fleet::ParseRange(text, &r, &error)) << error;
  return r.first;
}

TEST(CliScan, ClassifiesEveryKindOfPeerAndTriesEachLoginOnce) {
  camsim::SimulatorOptions fleet;
  fleet.bind_address = "127.77.0.1";
  fleet.address_per_camera = true;
  fleet.cameras = 5;
  fleet.flip = 1;
  fleet.overrides = {At(1), At(2), At(3), At(4)};
  fleet.overrides[0].fault = camsim::Fault::kSilent;
  fleet.overrides[1].password = "another";
  fleet.overrides[2].chip_type = 72;
  fleet.overrides[3].fault = camsim::Fault::kTrickle;
  auto cameras = StartSim(fleet);
  camsim::SimulatorOptions locking;
  locking.bind_address = "127.77.0.9";
  locking.address_per_camera = true;
  locking.lockout_after = 1;
  auto locked = StartSim(locking);
  camsim::SimulatorOptions noPage;
  noPage.bind_address = "127.77.0.10";
  noPage.address_per_camera = true;
  noPage.info_page = false;
  auto bare = StartSim(noPage);
  tiltwise_test::ScriptedPeer web(tiltwise_test::ScriptedPeer::AnswerAndClose(
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>router</html>"));

  std::vector<fleet::Endpoint> endpoints;
  for (std::uint32_t a = Address("127.77.0.1"); a <= Address("127.77.0.10"); ++a) {
    for (int port : {cameras->port(), locked->port(), web.port(), bare->port()}) {
      endpoints.push_back({a, port});
    }
  }
  endpoints.push_back({Address("127.0.0.1"), web.port()});
  fleet::ScanOptions o;
  o.credentials = {{"admin", "wrong"}, {"admin", kPassword}};
  o.timeoutMs = 700;
  o.deadlineMs = 1500;
  o.maxInFlight = 3;  // most connects wait for a free place
  o.keepNoAnswer = true;
  std::atomic<bool> stop{false};
  size_t reported = 0;
  fleet::ScanProgress progress;
  const std::vector<fleet::ScanResult> results = fleet::RunScan(
      endpoints, o, stop, [&](const fleet::ScanResult&) { ++reported; }, nullptr, &progress);

  ASSERT_EQ(results.size(), endpoints.size());
  EXPECT_EQ(reported, endpoints.size());
  std::map<std::string, fleet::ScanResult> found;
  for (size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i].index, i);
    const fleet::ScanResult& r = results[i];
    if (r.kind != fleet::DeviceClass::kNoAnswer) found[r.host + ":" + std::to_string(r.port)] = r;
  }
  const std::string camPort = ":" + std::to_string(cameras->port());
  ASSERT_EQ(found.size(), 8u);
  const fleet::ScanResult& good = found["127.77.0.1" + camPort];
  EXPECT_EQ(good.kind, fleet::DeviceClass::kCamera);
  EXPECT_EQ(good.user, "admin");
  EXPECT_EQ(good.chipType, 71);
  EXPECT_EQ(good.flip, true);
  EXPECT_EQ(good.mirror, false);
  EXPECT_EQ(good.cause, Cause::kNone);
  // The page the login was found with serves the read: one request per credential set.
  EXPECT_EQ(InfoPageRequests(*cameras, "127.77.0.1"), 2u);

  const fleet::ScanResult& other = found["127.77.0.3" + camPort];
  EXPECT_EQ(other.kind, fleet::DeviceClass::kAuthFailed);
  EXPECT_EQ(other.cause, Cause::kUnauthorized);
  EXPECT_EQ(other.user, "");
  EXPECT_EQ(InfoPageRequests(*cameras, "127.77.0.3"), 2u);  // each set once, no retry

  const fleet::ScanResult& hv = found["127.77.0.4" + camPort];
  EXPECT_EQ(hv.kind, fleet::DeviceClass::kCamera);
  EXPECT_EQ(hv.chipType, 72);
  EXPECT_EQ(hv.cause, Cause::kChipType);
  EXPECT_FALSE(hv.flip.has_value());

  // Locked after the first wrong password: the right one gets 403 and nothing follows it.
  const fleet::ScanResult& lock = found["127.77.0.9:" + std::to_string(locked->port())];
  EXPECT_EQ(lock.kind, fleet::DeviceClass::kAuthFailed);
  EXPECT_EQ(lock.httpStatus, 403);
  EXPECT_EQ(InfoPageRequests(*locked, "127.77.0.9"), 2u);

  // No information page (404), but the motor range answers: a camera of unknown chip type.
  const fleet::ScanResult& pageless = found["127.77.0.10:" + std::to_string(bare->port())];
  EXPECT_EQ(pageless.kind, fleet::DeviceClass::kCamera);
  EXPECT_FALSE(pageless.chipType.has_value());
  EXPECT_EQ(pageless.flip, false);

  const fleet::ScanResult& router = found["127.0.0.1:" + std::to_string(web.port())];
  EXPECT_EQ(router.kind, fleet::DeviceClass::kNotACamera);
  EXPECT_EQ(router.httpStatus, 200);

  // Accepted, then silent, or a reply that stalls: something is there, as a restarting camera.
  const fleet::ScanResult& silent = results[1 * 4];  // 127.77.0.2 on the cameras' port
  EXPECT_EQ(silent.host, "127.77.0.2");
  EXPECT_EQ(silent.kind, fleet::DeviceClass::kNoReply);
  EXPECT_EQ(silent.cause, Cause::kTimedOut);
  EXPECT_EQ(results[4 * 4].host, "127.77.0.5");
  EXPECT_EQ(results[4 * 4].kind, fleet::DeviceClass::kNoReply);
  EXPECT_EQ(results[2].cause, Cause::kRefused);  // 127.77.0.1 on the web server's port
  EXPECT_EQ(progress.swept, endpoints.size());
  EXPECT_EQ(progress.cameras, 3u);
  EXPECT_EQ(progress.authFailed, 2u);
  EXPECT_EQ(progress.notACamera, 1u);
  EXPECT_EQ(progress.noReply, 2u);
  EXPECT_EQ(progress.noAnswer, endpoints.size() - 8);
}

// Every credential set gets its turn where the login is asked for: on getmotorrange when the
// information page needs none, and when there is no information page at all.
TEST(CliScan, CredentialSetsReachTheMotorRange) {
  tiltwise_test::Script openPage;
  openPage.answers = {
      {"/qx.html", "HTTP/1.1 200 OK\r\n\r\nvar chip_type=\"71\";\r\n"},
      {"/param.cgi?cmd=getmotorrange",
       "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"cam\"\r\n\r\n"}};
  tiltwise_test::ScriptedPeer refusing(openPage);
  camsim::SimulatorOptions noPage;
  noPage.bind_address = "127.77.3.1";
  noPage.address_per_camera = true;
  noPage.info_page = false;
  auto bare = StartSim(noPage);

  fleet::ScanOptions o;
  o.credentials = {{"admin", "wrong"}, {"admin", kPassword}, {"other", "x"}};
  const fleet::ScanResult locked = fleet::ProbeDevice({Address("127.0.0.1"), refusing.port()}, o);
  EXPECT_EQ(locked.kind, fleet::DeviceClass::kAuthFailed);
  EXPECT_EQ(locked.request, Request::kGetMotorRange);
  EXPECT_EQ(
      refusing.Targets(),
      (std::vector<std::string>{"/qx.html", "/param.cgi?cmd=getmotorrange",
                                "/param.cgi?cmd=getmotorrange", "/param.cgi?cmd=getmotorrange"}));

  const fleet::ScanResult found = fleet::ProbeDevice({Address("127.77.3.1"), bare->port()}, o);
  EXPECT_EQ(found.kind, fleet::DeviceClass::kCamera);
  EXPECT_EQ(found.login, 2);
  EXPECT_EQ(found.flip, false);
}

// Scans with the program, edits nothing but a label column, and hands the list to set.
TEST(CliScan, ListRoundTripIntoSetDryRun) {
  camsim::SimulatorOptions fleet;
  fleet.bind_address = "127.77.1.1";
  fleet.address_per_camera = true;
  fleet.cameras = 3;
  fleet.overrides = {At(0), At(2)};
  fleet.overrides[0].chip_type = 70;  // even an unusable camera gets its line
  fleet.overrides[1].password = "another";
  auto sim = StartSim(fleet);
  const std::string port = std::to_string(sim->port());
  const std::vector<std::string> env = {std::string("TILTWISE_PASSWORD=") + kPassword};

  auto scan =
      cli_test::Process(TILTWISE_CLI_PATH, {"scan", "127.77.1.0/29", "--port", port, "--csv"}, env)
          .Wait(30000);
  ASSERT_TRUE(scan.exited);
  EXPECT_EQ(scan.status, 0) << scan.err;
  EXPECT_EQ(scan.out,
            "host,port,user,login,auth,status,chip_type,flip_now,mirror_now\n"
            "127.77.1.1," +
                port + ",admin,1,basic,camera,70,,\n" + "127.77.1.2," + port +
                ",admin,1,basic,camera,71,off,off\n" + "127.77.1.3," + port +
                ",,,basic,auth-failed,,,\n");

  char dir[] = "/tmp/tiltwise-scan-test-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string list = std::string(dir) + "/site.csv";
  {
    std::istringstream lines(scan.out);
    std::ofstream file(list);
    std::string line;
    for (int n = 0; std::getline(lines, line); ++n) {
      file << line << "," << (n == 0 ? "name" : "cam " + std::to_string(n)) << "\n";
    }
  }
  auto set =
      cli_test::Process(
          TILTWISE_CLI_PATH,
          {"set", "--flip", "on", "--mirror", "off", "--input", list, "--dry-run", "--json"}, env)
          .Wait(30000);
  ::unlink(list.c_str());
  ::rmdir(dir);
  ASSERT_TRUE(set.exited);
  EXPECT_EQ(set.status, 1) << set.out << set.err;  // two cameras cannot be set
  std::map<std::string, nlohmann::json> byHost;
  std::istringstream lines(set.out);
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << line;
    byHost[j["address"].get<std::string>()] = j;
  }
  ASSERT_EQ(byHost.size(), 3u) << set.out;
  EXPECT_EQ(byHost["127.77.1.2"]["outcome"], "would-set");
  EXPECT_EQ(byHost["127.77.1.2"]["flip_before"], false);
  EXPECT_EQ(byHost["127.77.1.2"]["name"], "cam 2");
  EXPECT_EQ(byHost["127.77.1.1"]["cause"], "chip-type");
  EXPECT_EQ(byHost["127.77.1.3"]["cause"], "unauthorized");
  for (const auto& r : sim->requests()) EXPECT_EQ(r.path.find("setmotorrange"), std::string::npos);
}

// Ctrl-C while a silent device holds a probe, and again: what was found is still written, and
// the second one does not wait for the silent device.
TEST(CliScan, InterruptedScanWritesWhatWasFound) {
  camsim::SimulatorOptions fleet;
  fleet.bind_address = "127.77.2.1";
  fleet.address_per_camera = true;
  fleet.cameras = 2;
  fleet.overrides = {At(1)};
  fleet.overrides[0].fault = camsim::Fault::kSilent;
  auto sim = StartSim(fleet);
  cli_test::Process scan(TILTWISE_CLI_PATH,
                         {"scan", "127.77.2.0/24", "--port", std::to_string(sim->port()),
                          "--timeout", "30000", "--csv"},
                         {std::string("TILTWISE_PASSWORD=") + kPassword});
  // Both under way: the camera read, the silent one holding its probe.
  bool read = false;
  bool held = false;
  for (int turn = 0; turn < 200 && !(read && held); ++turn) {
    sim->WaitForRequests(sim->request_count() + 1, std::chrono::milliseconds(50));
    for (const auto& r : sim->requests()) {
      read |= r.path == "/param.cgi?cmd=getmotorrange";
      held |= r.fault == camsim::Fault::kSilent;
    }
  }
  ASSERT_TRUE(read && held);
  scan.Signal(SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  scan.Signal(SIGINT);
  const auto r = scan.Wait(10000);
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_NE(r.err.find("stopped at once"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "host,port,user,login,auth,status,chip_type,flip_now,mirror_now\n127.77.2.1," +
                       std::to_string(sim->port()) + ",admin,1,basic,camera,71,off,off\n");
}

TEST(CliScan, UsageErrorsScanNothingAndNeverEchoAPassword) {
  const std::vector<std::vector<std::string>> cases = {
      {"scan"},
      {"scan", "127.0.0.010"},
      {"scan", "127.0.0.0/8"},  // over the cap
      {"scan", "127.0.0.1", "--port", "0"},
      {"scan", "127.0.0.1", "--json", "--csv"},
      {"scan", "127.0.0.1", "-phunter2"},
      {"scan", "127.0.0.1", "-hphunter2"},
      {"scan", "127.0.0.1", "--password=hunter2"},
      {"scan", "127.0.0.1", "--password-stdin=hunter2"},
  };
  for (const auto& args : cases) {
    auto r = cli_test::Process(TILTWISE_CLI_PATH, args, {"TILTWISE_PASSWORD=x"}).Wait(10000);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 2) << args.back() << r.err;
    EXPECT_EQ(r.err.find("hunter2"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
}

}  // namespace
}  // namespace cli
