// Real sites through the program and the simulator on loopback: several passwords, Digest
// cameras that lock out, devices that accept and say nothing, retries from a report alone and
// a machine with few files to open.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "camsim/CameraSim.h"
#include "tests/ScriptedPeer.h"
#include "tests/TestProcess.h"

namespace {

using nlohmann::json;

class CliSite : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tiltwise-site-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const std::string& f : files_) ::unlink(f.c_str());
    ::rmdir(dir_.c_str());
  }
  void Start(camsim::SimulatorOptions o, bool perAddress = true) {
    o.port = 0;
    o.address_per_camera = perAddress;
    o.password = "first-pw";
    sim_ = std::make_unique<camsim::CameraSimulator>(std::move(o));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }
  std::string File(const std::string& name, const std::string& text) {
    files_.push_back(dir_ + "/" + name);
    std::ofstream(files_.back(), std::ios::binary) << text;
    return files_.back();
  }
  cli_test::Finished Run(std::vector<std::string> args) {
    return cli_test::Process(TILTWISE_CLI_PATH, std::move(args), {"TILTWISE_PASSWORD=first-pw"})
        .Wait(60000);
  }
  static std::map<std::string, json> ByHost(const std::string& out) {
    std::map<std::string, json> m;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      const json j = json::parse(line, nullptr, false);
      EXPECT_TRUE(j.is_object()) << line;
      if (j.is_object()) m[j["address"].get<std::string>()] = j;
    }
    return m;
  }
  // Requests by host whose login the camera refused (401 with credentials sent).
  std::map<std::string, int> Refusals() const {
    std::map<std::string, int> n;
    for (const camsim::RequestRecord& r : sim_->requests()) {
      // Basic cameras name no scheme; a request without credentials is no login.
      n[r.host] += r.status == 401 && (r.scheme == nullptr || std::string(r.scheme) != "none");
    }
    return n;
  }
  static camsim::CameraOverride At(int i) {
    camsim::CameraOverride o;
    o.camera = {true, i};
    return o;
  }

  std::unique_ptr<camsim::CameraSimulator> sim_;
  std::string dir_;
  std::vector<std::string> files_;
};

// Two passwords, Basic and Digest cameras that lock after three failed logins: the scan costs
// each camera at most one refusal per login (plus the Basic request that finds Digest out), its
// list names the login, and set through that list is refused nowhere and sends Digest cameras
// no Basic at all.
TEST_F(CliSite, TwoPasswordsScannedAndSetThroughTheLogin) {
  camsim::SimulatorOptions o;
  o.bind_address = "127.79.0.1";
  o.cameras = 4;
  o.lockout_after = 3;
  o.overrides = {At(1), At(2), At(3), At(3)};
  o.overrides[0].auth = camsim::AuthMode::kDigest;
  o.overrides[1].password = "second-pw";
  o.overrides[2].password = "second-pw";
  o.overrides[3].auth = camsim::AuthMode::kDigestSha256;
  Start(o);
  const std::string port = std::to_string(sim_->port());
  const std::string logins = File("logins.txt", "# site B\nadmin:second-pw\n");
  auto scan = Run({"scan", "127.79.0.0/29", "--port", port, "--credentials", logins, "--csv"});
  ASSERT_EQ(scan.status, 0) << scan.err;
  EXPECT_EQ(scan.out,
            "host,port,user,login,auth,status,chip_type,flip_now,mirror_now\n"
            "127.79.0.1," +
                port + ",admin,1,basic,camera,71,off,off\n" + "127.79.0.2," + port +
                ",admin,1,digest,camera,71,off,off\n" + "127.79.0.3," + port +
                ",admin,2,basic,camera,71,off,off\n" + "127.79.0.4," + port +
                ",admin,2,digest,camera,71,off,off\n");
  std::map<std::string, int> refused = Refusals();
  EXPECT_EQ(refused["127.79.0.3"], 1);
  EXPECT_EQ(refused["127.79.0.4"], 2);  // Basic, then login 1's Digest answer; login 2 got in

  const size_t before = sim_->request_count();
  const std::string list = File("site.csv", scan.out);
  auto set = Run({"set", "--flip", "on", "--input", list, "--credentials", logins, "--json"});
  ASSERT_EQ(set.status, 0) << set.err << set.out;
  std::map<std::string, json> by = ByHost(set.out);
  ASSERT_EQ(by.size(), 4u) << set.out;
  EXPECT_EQ(by["127.79.0.3"]["login"], 2);
  EXPECT_EQ(by["127.79.0.4"]["auth"], "digest");
  const std::vector<camsim::RequestRecord> log = sim_->requests();
  for (size_t i = before; i < log.size(); ++i) {
    const camsim::RequestRecord& r = log[i];
    EXPECT_NE(r.status, 403) << camsim::FormatRecord(r);
    const std::string scheme = r.scheme ? r.scheme : "";
    EXPECT_FALSE(r.status == 401 && scheme != "none") << camsim::FormatRecord(r);
    if (r.host == "127.79.0.2" || r.host == "127.79.0.4") {
      EXPECT_NE(scheme, "basic") << camsim::FormatRecord(r);
    }
  }

  // Without the list's numbers the logins are tried in order, each once per camera, and the
  // report says which one got in.
  auto query =
      Run({"query", "127.79.0.3:" + port, "127.79.0.4:" + port, "--credentials", logins, "--json"});
  EXPECT_EQ(query.status, 0) << query.err << query.out;
  for (auto& [host, j] : ByHost(query.out)) EXPECT_EQ(j["login"], 2) << j;
  // A number the run does not have, or of another user, is a usage error: nothing is sent.
  const size_t sent = sim_->request_count();
  for (const std::string& row :
       {"127.79.0.3," + port + ",,3\n", "127.79.0.3," + port + ",guest,2\n"}) {
    auto bad = Run({"query", "--input", File("bad.csv", "host,port,user,login\n" + row),
                    "--credentials", logins});
    EXPECT_EQ(bad.status, 2) << bad.err;
    EXPECT_NE(bad.err.find("login"), std::string::npos) << bad.err;
  }
  EXPECT_EQ(sim_->request_count(), sent);
}

// A set that failed on one camera is run again from its report alone: what was asked (a value
// kept included) travels in the report.
TEST_F(CliSite, RetryFromTheReportAlone) {
  camsim::SimulatorOptions o;
  o.cameras = 2;
  o.mirror = 1;
  o.overrides = {At(1)};
  o.overrides[0].fault = camsim::Fault::kClose;
  Start(o, false);
  const std::string good = "127.0.0.1:" + std::to_string(sim_->ports()[0]);
  const int closing = sim_->ports()[1];
  auto set = Run({"set", "--flip", "on", "--json", good, "127.0.0.1:" + std::to_string(closing)});
  EXPECT_EQ(set.status, 1) << set.err;
  std::map<int, json> by;
  std::istringstream lines(set.out);
  for (std::string line; std::getline(lines, line);) {
    const json j = json::parse(line);
    by[j["port"].get<int>()] = j;
  }
  EXPECT_EQ(by[closing]["ok"], false);
  EXPECT_EQ(by[closing]["cause"], "refused");
  EXPECT_EQ(by[closing]["flip_wanted"], true);
  EXPECT_EQ(by[closing]["mirror_wanted"], "keep");

  sim_->SetFault(closing, camsim::Fault::kNone);
  auto retry = Run({"set", "--input", File("result.jsonl", set.out), "--only-failed", "--json"});
  EXPECT_EQ(retry.status, 0) << retry.err << retry.out;
  const json j = json::parse(retry.out.substr(0, retry.out.find('\n')), nullptr, false);
  ASSERT_TRUE(j.is_object()) << retry.out;
  EXPECT_EQ(j["port"], closing);
  EXPECT_EQ(j["outcome"], "set");
  EXPECT_EQ(j["mirror_wanted"], "keep");
  EXPECT_EQ(sim_->state(closing)->flip, 1);
  EXPECT_EQ(sim_->state(closing)->mirror, 1);
}

// Devices that accept and then say nothing, or close at once, are listed as no-reply (a camera
// mid-restart looks like that) and kept in the list, which set then leaves alone; the scan
// exits 0 whatever it found.
TEST_F(CliSite, SilentAndClosingDevicesAreListed) {
  camsim::SimulatorOptions o;
  o.bind_address = "127.79.2.1";
  o.cameras = 3;
  o.overrides = {At(1), At(2)};
  o.overrides[0].fault = camsim::Fault::kSilent;
  o.overrides[1].fault = camsim::Fault::kClose;
  Start(o);
  const std::string port = std::to_string(sim_->port());
  auto scan = Run({"scan", "127.79.2.0/29", "--port", port, "--timeout", "500ms", "--csv"});
  ASSERT_EQ(scan.status, 0) << scan.err;
  EXPECT_EQ(scan.out,
            "host,port,user,login,auth,status,chip_type,flip_now,mirror_now\n"
            "127.79.2.1," +
                port + ",admin,1,basic,camera,71,off,off\n" + "127.79.2.2," + port +
                ",,,,no-reply,,,\n" + "127.79.2.3," + port + ",,,,no-reply,,,\n");
  auto table = Run({"scan", "127.79.2.0/29", "--port", port, "--timeout", "500ms"});
  EXPECT_EQ(table.status, 0);
  EXPECT_NE(table.out.find("1 camera, 0 auth-failed, 0 not-a-camera, 2 no-reply"),
            std::string::npos)
      << table.out;
  auto set = Run({"set", "--flip", "on", "--dry-run", "--input", File("site.csv", scan.out)});
  EXPECT_EQ(set.status, 0) << set.err << set.out;
  EXPECT_NE(set.err.find("2 device(s)"), std::string::npos) << set.err;
}

// With 40 files to open a scan of 100 cameras keeps fewer connects in flight and finds every
// one, instead of calling the ones it had no socket for silent.
TEST_F(CliSite, LowOpenFileLimitFindsEveryCamera) {
  camsim::SimulatorOptions o;
  o.bind_address = "127.79.3.1";
  o.cameras = 100;
  Start(o);
  auto scan =
      cli_test::Process("/bin/sh",
                        {"-c", "ulimit -n 40 && exec \"$0\" \"$@\"", TILTWISE_CLI_PATH, "scan",
                         "127.79.3.0/25", "--port", std::to_string(sim_->port()), "--csv"},
                        {"TILTWISE_PASSWORD=first-pw"})
          .Wait(60000);
  ASSERT_TRUE(scan.exited);
  EXPECT_EQ(scan.status, 0) << scan.err;
  size_t cameras = 0;
  for (size_t at = 0; (at = scan.out.find(",camera,", at)) != std::string::npos; ++at) ++cameras;
  EXPECT_EQ(cameras, 100u) << scan.out << scan.err;
}

}  // namespace
