// tiltwise-cli scan as a program against the simulator with one camera per address: the list
// it writes, what it does when interrupted, and its usage errors.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "camsim/CameraSim.h"
#include "tests/ScanPeers.h"
#include "tests/TestProcess.h"

namespace cli {
namespace {

constexpr const char* kPassword = tiltwise_test::kScanPassword;
using tiltwise_test::At;
using tiltwise_test::StartSim;

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
