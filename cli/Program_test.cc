// tiltwise-cli as scripts run it: a child process against the camera simulator on loopback.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "camsim/CameraSim.h"
#include "tests/ScriptedPeer.h"
#include "tests/TestProcess.h"

namespace {

using cli_test::Process;
using nlohmann::json;

constexpr char kPassword[] = "S3cret-Pa55word";
const std::string kEnvPassword = std::string("TILTWISE_PASSWORD=") + kPassword;

class CliProgram : public ::testing::Test {
 protected:
  void StartCameras(camsim::SimulatorOptions o) {
    o.bind_address = "127.0.0.1";
    o.port = 0;
    o.password = kPassword;
    sim_ = std::make_unique<camsim::CameraSimulator>(std::move(o));
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }
  int port(int i) const { return sim_->ports().at(static_cast<size_t>(i)); }
  std::string target(int i) const { return "127.0.0.1:" + std::to_string(port(i)); }
  size_t SetCommands() const {
    size_t n = 0;
    for (const auto& r : sim_->requests()) {
      if (r.path.rfind("/param.cgi?cmd=setmotorrange", 0) == 0) ++n;
    }
    return n;
  }

  std::string WriteFile(const std::string& name, const std::string& text) {
    if (dir_.empty()) {
      char pattern[] = "/tmp/tiltwise-cli-test-XXXXXX";
      const char* made = ::mkdtemp(pattern);
      EXPECT_NE(made, nullptr);
      dir_ = made ? made : "/tmp";
    }
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    files_.push_back(path);
    return path;
  }
  void TearDown() override {
    for (const std::string& f : files_) ::unlink(f.c_str());
    if (!dir_.empty()) ::rmdir(dir_.c_str());
  }

  // Runs the program to its end (bounded) with the password in the environment.
  cli_test::Finished Run(std::vector<std::string> args, int timeoutMs = 30000,
                         std::vector<std::string> env = {kEnvPassword}) {
    Process p(TILTWISE_CLI_PATH, std::move(args), env);
    EXPECT_TRUE(p.started());
    return p.Wait(timeoutMs);
  }

  // JSON lines by "PORT" of each camera.
  static std::map<int, json> ByPort(const std::string& out) {
    std::map<int, json> m;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      json j = json::parse(line, nullptr, false);
      EXPECT_FALSE(j.is_discarded()) << line;
      if (j.is_discarded()) continue;
      EXPECT_EQ(m.count(j["port"].get<int>()), 0u) << "reported twice: " << line;
      m[j["port"].get<int>()] = j;
    }
    return m;
  }

  std::unique_ptr<camsim::CameraSimulator> sim_;
  std::string dir_;
  std::vector<std::string> files_;
};

TEST_F(CliProgram, QueryAndSetOneCamera) {
  camsim::SimulatorOptions o;
  o.mirror = 1;
  StartCameras(o);
  auto q = Run({"query", target(0)});
  ASSERT_TRUE(q.exited);
  EXPECT_EQ(q.status, 0) << q.err;
  EXPECT_NE(q.out.find("CAMERA"), std::string::npos) << q.out;
  EXPECT_NE(q.out.find(target(0) + "  query   ok"), std::string::npos) << q.out;
  EXPECT_NE(q.out.find("1 camera: 1 ok, 0 failed"), std::string::npos) << q.out;
  EXPECT_EQ(q.err, "");  // no progress: standard error is no terminal here

  auto s = Run({"set", "--flip", "on", "--mirror", "off", target(0)});
  EXPECT_EQ(s.status, 0) << s.err;
  EXPECT_NE(s.out.find("Set success, camera rebooting."), std::string::npos) << s.out;
  EXPECT_NE(s.out.find("off->on"), std::string::npos) << s.out;
  EXPECT_EQ(sim_->state(port(0))->flip, 1);
  EXPECT_EQ(sim_->state(port(0))->mirror, 0);
}

// A site's list: one camera to change, the two refused chip types, one with other credentials,
// one where nothing listens, one already as wanted and one with its own wanted values.
TEST_F(CliProgram, FleetFromListReportsEveryCameraItsOwnWay) {
  camsim::SimulatorOptions o;
  o.cameras = 6;
  o.overrides.push_back({{true, 1}, std::nullopt, 72, std::nullopt, std::nullopt});
  o.overrides.push_back({{true, 2}, std::nullopt, 73, std::nullopt, std::nullopt});
  o.overrides.push_back({{true, 3}, std::nullopt, std::nullopt, std::nullopt, "other"});
  StartCameras(o);
  sim_->SetState(port(4), 1, 0);
  const int nobody = cli_test::UnusedPort();
  const std::string list = WriteFile(
      "site.csv", "# second floor\nhost,port,flip,mirror\n127.0.0.1," + std::to_string(port(0)) +
                      ",,\n127.0.0.1," + std::to_string(port(1)) + ",,\n\n127.0.0.1," +
                      std::to_string(port(2)) + ",,\n127.0.0.1," + std::to_string(port(3)) +
                      ",,\n127.0.0.1," + std::to_string(nobody) + ",,\n127.0.0.1," +
                      std::to_string(port(4)) + ",,\n127.0.0.1," + std::to_string(port(5)) +
                      ",off,on\n");
  auto r = Run({"set", "--flip", "on", "--mirror", "off", "--json", "-j", "4", "--timeout", "1000",
                "--input", list});
  ASSERT_TRUE(r.exited);
  EXPECT_EQ(r.status, 1) << r.err;
  std::map<int, json> by = ByPort(r.out);
  ASSERT_EQ(by.size(), 7u) << r.out;

  EXPECT_EQ(by[port(0)]["outcome"], "set");
  EXPECT_EQ(by[port(0)]["ok"], true);
  EXPECT_EQ(by[port(0)]["message"], "Set success, camera rebooting.");
  EXPECT_EQ(by[port(0)]["flip_before"], false);
  EXPECT_EQ(by[port(0)]["flip_wanted"], true);
  EXPECT_TRUE(by[port(0)]["flip_after"].is_null());  // sent, never read back
  EXPECT_EQ(by[port(0)]["address"], "127.0.0.1");
  EXPECT_TRUE(by[port(0)]["elapsed_ms"].is_number_integer());
  EXPECT_FALSE(by[port(0)].contains("detail"));
  EXPECT_EQ(by[port(1)]["message"], "Device type error HV!");
  EXPECT_EQ(by[port(1)]["detail"],
            "chip type 72: this model's orientation cannot be set with this tool");
  EXPECT_EQ(by[port(1)]["ok"], false);
  EXPECT_EQ(by[port(2)]["message"], "Query camera info - get camera type error");
  EXPECT_EQ(by[port(2)]["detail"],
            "chip type 73: this model's orientation cannot be set with this tool");
  // The fixed texts stay as the dialog shows them; the cause tells these three apart.
  EXPECT_EQ(by[port(3)]["message"], "Failed to query camera info");
  EXPECT_EQ(by[port(3)]["detail"],
            "information page: HTTP/1.1 401 Unauthorized: wrong user name or password");
  EXPECT_EQ(by[nobody]["message"], "Failed to query camera info");
  EXPECT_EQ(by[nobody]["detail"],
            "information page: no answer: connection refused or closed without a reply");
  EXPECT_EQ(by[nobody]["ok"], false);
  EXPECT_EQ(by[port(4)]["action"], "skip");
  EXPECT_EQ(by[port(4)]["outcome"], "already-set");
  EXPECT_EQ(by[port(4)]["ok"], true);
  EXPECT_EQ(by[port(5)]["outcome"], "set");
  EXPECT_EQ(by[port(5)]["flip_wanted"], false);
  EXPECT_EQ(by[port(5)]["mirror_wanted"], true);

  EXPECT_EQ(sim_->state(port(0))->flip, 1);
  EXPECT_EQ(sim_->state(port(5))->mirror, 1);
  for (int i : {1, 2, 3}) EXPECT_EQ(sim_->state(port(i))->flip, 0) << i;
  EXPECT_EQ(SetCommands(), 2u);  // only the two that needed it restarted

  // Forced, the refused chip type meets Set's own silent refusal: still a failure.
  auto f = Run({"set", "--force", "--flip", "on", "--mirror", "on", "--json", target(2)});
  EXPECT_EQ(f.status, 1);
  std::map<int, json> forced = ByPort(f.out);
  EXPECT_EQ(forced[port(2)]["outcome"], "set-refused");
  EXPECT_EQ(forced[port(2)]["ok"], false);
  EXPECT_EQ(forced[port(2)]["message"],
            "Set refused for this camera type (chip type 70, 73 or 74): nothing was changed");
  EXPECT_EQ(forced[port(2)]["detail"],
            "chip type 73: this model's orientation cannot be set with this tool");
  EXPECT_EQ(SetCommands(), 2u);

  // The table puts the cause beside the text.
  auto t = Run({"query", target(3)});
  EXPECT_EQ(t.status, 1);
  EXPECT_NE(t.out.find("unauthorized  -     -       "), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("information page: HTTP/1.1 401 Unauthorized: wrong user name or password "
                       "(Failed to query camera info)\n"),
            std::string::npos)
      << t.out;
}

TEST_F(CliProgram, DryRunSendsNoSetCommand) {
  camsim::SimulatorOptions o;
  o.cameras = 3;
  StartCameras(o);
  // Two by argument, one from a list on standard input.
  Process p(
      TILTWISE_CLI_PATH,
      {"set", "--dry-run", "--flip", "on", "--mirror", "off", target(0), target(1), "--input", "-"},
      {kEnvPassword});
  p.Write("host,port\n127.0.0.1," + std::to_string(port(2)) + "\n");
  auto r = p.Wait(30000);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("dry-run"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Would set Flip on, Mirror off"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(target(2) + "  dry-run"), std::string::npos) << r.out;
  ASSERT_EQ(sim_->request_count(), 6u);  // probe and getmotorrange for each
  EXPECT_EQ(SetCommands(), 0u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(sim_->state(port(i))->flip, 0);
}

TEST_F(CliProgram, DryRunFailureIsStillADryRun) {
  camsim::SimulatorOptions o;
  o.cameras = 2;
  o.overrides.push_back({{true, 1}, std::nullopt, 73, std::nullopt, std::nullopt});
  StartCameras(o);
  auto r =
      Run({"set", "--dry-run", "--json", "--flip", "on", "--mirror", "on", target(0), target(1)});
  EXPECT_EQ(r.status, 1) << r.err << r.out;
  std::map<int, json> by = ByPort(r.out);
  EXPECT_EQ(by[port(0)]["action"], "dry-run");
  EXPECT_EQ(by[port(0)]["ok"], true);
  EXPECT_EQ(by[port(1)]["action"], "dry-run");  // never "set": nothing was sent
  EXPECT_EQ(by[port(1)]["ok"], false);
  EXPECT_EQ(by[port(1)]["message"], "Query camera info - get camera type error");
  EXPECT_EQ(SetCommands(), 0u);
}

TEST_F(CliProgram, VerifyAcrossARestart) {
  camsim::SimulatorOptions o;
  o.cameras = 2;
  o.reboot_time = std::chrono::milliseconds(1000);
  StartCameras(o);
  auto r = Run({"set", "--verify", "--verify-timeout", "20", "--json", "--flip", "off", "--mirror",
                "on", target(0), target(1)});
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  std::map<int, json> by = ByPort(r.out);
  ASSERT_EQ(by.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(by[port(i)]["verified"], true) << r.out;
    EXPECT_EQ(by[port(i)]["mirror_after"], true);
    EXPECT_GE(by[port(i)]["elapsed_ms"].get<int>(), 900);  // it waited for the restart
  }
}

// Cameras that want Digest (MD5 and SHA-256-only), with a lockout after two failed logins:
// query, set verified across restarts that forget the nonces, and restore all get through, and
// each camera sees Basic once, the request that found out.
TEST_F(CliProgram, DigestCamerasQuerySetVerifyAndRestore) {
  camsim::SimulatorOptions o;
  o.cameras = 2;
  o.auth = camsim::AuthMode::kDigest;
  o.overrides.push_back({{true, 1}, {}, {}, {}, {}, camsim::AuthMode::kDigestSha256});
  o.lockout_after = 2;
  o.reboot_time = std::chrono::milliseconds(300);
  StartCameras(o);
  auto query = Run({"query", "--json", target(0), target(1)});
  EXPECT_EQ(query.status, 0) << query.err << query.out;
  auto set = Run({"set", "--verify", "--verify-timeout", "20", "--json", "--flip", "on", target(0),
                  target(1)});
  EXPECT_EQ(set.status, 0) << set.err << set.out;
  const std::string report = WriteFile("digest.jsonl", set.out);
  for (auto& [camera, j] : ByPort(set.out)) EXPECT_EQ(j["verified"], true) << j;
  auto restore = Run({"restore", report, "--json"});
  EXPECT_EQ(restore.status, 0) << restore.err << restore.out;
  for (int i : {0, 1}) EXPECT_EQ(sim_->state(port(i))->flip, 0) << i;
  std::map<int, int> basic;
  for (const camsim::RequestRecord& r : sim_->requests()) {
    EXPECT_NE(r.status, 403) << camsim::FormatRecord(r);
    basic[r.port] += r.scheme && std::string(r.scheme) == "basic";
  }
  // One Basic per camera and program run that had to find out: query and set; restore read
  // "auth":"digest" in the set's report and sent Digest from its first request.
  EXPECT_EQ(basic[port(0)], 2);
  EXPECT_EQ(basic[port(1)], 2);
}

// A reply without the values (cut at 2048 bytes, a web page that is no camera's) is never
// read as "off": not by query, not by a set that would then find nothing to change.
TEST_F(CliProgram, ValuesNotInTheReplyAreNeverReported) {
  camsim::SimulatorOptions o;
  o.flip = 1;
  o.mirror = 1;
  o.overrides.push_back(
      {{true, 0}, camsim::Fault::kOversize, std::nullopt, std::nullopt, std::nullopt});
  StartCameras(o);
  tiltwise_test::ScriptedPeer page(tiltwise_test::ScriptedPeer::AnswerAndClose(
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>Router login</html>"));
  tiltwise_test::Script cut;  // reset after the header, before any value
  cut.writes = {{"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html>var ", 0}};
  cut.reset = true;
  tiltwise_test::ScriptedPeer resetting(cut);
  const std::string other = "127.0.0.1:" + std::to_string(page.port());
  const std::vector<std::vector<std::string>> runs = {
      {"query"},
      {"set", "--flip", "off", "--mirror", "off"},
      {"set", "--flip", "on", "--mirror", "on"},
      {"set", "--dry-run", "--flip", "off", "--mirror", "off"},
      {"set", "--verify", "--flip", "on", "--mirror", "on"}};
  for (std::vector<std::string> args : runs) {
    args.insert(args.end(),
                {"--json", target(0), other, "127.0.0.1:" + std::to_string(resetting.port())});
    auto r = Run(args);
    EXPECT_EQ(r.status, 1) << args[1] << r.out;
    std::map<int, json> by = ByPort(r.out);
    for (int p : {port(0), page.port(), resetting.port()}) {
      EXPECT_EQ(by[p]["ok"], false) << by[p];
      EXPECT_EQ(by[p]["outcome"], "not-read") << by[p];
      EXPECT_EQ(by[p]["cause"], "values-missing") << by[p];
      EXPECT_TRUE(by[p]["flip_before"].is_null()) << by[p];
      EXPECT_FALSE(by[p].contains("verified")) << by[p];
    }
  }
  EXPECT_EQ(SetCommands(), 0u);
  EXPECT_EQ(sim_->state(port(0))->flip, 1);
  auto table = Run({"query", other});
  EXPECT_NE(table.out.find("getmotorrange: the reply holds no flip and no mirror value"),
            std::string::npos)
      << table.out;
}

// However the password is given, it shows up neither in the output nor in the argument list
// other users can read.
TEST_F(CliProgram, PasswordNeverShows) {
  camsim::SimulatorOptions o;
  o.cameras = 2;
  o.overrides.push_back(
      {{true, 1}, camsim::Fault::kSilent, std::nullopt, std::nullopt, std::nullopt});
  StartCameras(o);
  const std::string file = WriteFile("pw.txt", std::string(kPassword) + "\n");
  struct Way {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string input;
  } ways[] = {
      {{}, {kEnvPassword}, ""},
      {{"--password-file", file}, {}, ""},
      {{"--password-stdin"}, {}, std::string(kPassword) + "\n"},
  };
  for (const Way& way : ways) {
    std::vector<std::string> args = {"query", "--timeout", "1500", target(0), target(1)};
    args.insert(args.end(), way.args.begin(), way.args.end());
    // Counted before the start: the first camera's requests may all come before the next line.
    const size_t before = sim_->request_count();
    Process p(TILTWISE_CLI_PATH, args, way.env);
    ASSERT_TRUE(p.started());
    p.Write(way.input);
    p.CloseInput();
    // While it waits for the silent camera, look at what others can see of it.
    ASSERT_TRUE(sim_->WaitForRequests(before + 2, std::chrono::milliseconds(5000)));
    const std::string cmdline = p.CommandLine();
    EXPECT_NE(cmdline.find("query"), std::string::npos);
    EXPECT_EQ(cmdline.find(kPassword), std::string::npos);
    auto f = p.Wait(20000);
    EXPECT_EQ(f.status, 1) << f.err;  // the silent camera fails
    EXPECT_NE(f.out.find("information page: no answer: timed out after 1500 ms (Failed to query "
                         "camera info)"),
              std::string::npos)
        << f.out;
    EXPECT_NE(f.out.find(target(0) + "  query   ok"), std::string::npos) << f.out;
    EXPECT_EQ(f.out.find(kPassword), std::string::npos);
    EXPECT_EQ(f.err.find(kPassword), std::string::npos);
  }

  // No password anywhere, and no terminal to ask on: a usage error before any request.
  const size_t before = sim_->request_count();
  auto none = Run({"query", target(0)}, 10000, {});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("no password"), std::string::npos) << none.err;
  EXPECT_EQ(sim_->request_count(), before);
}

// On a terminal the password is asked for, and what is typed is not echoed.
TEST_F(CliProgram, PromptsWithoutEchoOnATerminal) {
  StartCameras({});
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  Process p(TILTWISE_CLI_PATH, {"query", "--json", target(0)}, {}, slave);
  ::close(slave);
  ASSERT_TRUE(p.started());
  ASSERT_TRUE(p.WaitForError("Password: ", 5000)) << "no prompt";
  const std::string typed = std::string(kPassword) + "\n";
  ASSERT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  // Whatever the terminal would show comes back on the master side.
  std::string shown;
  for (int i = 0; i < 10; ++i) {
    pollfd pfd{master, POLLIN, 0};
    if (::poll(&pfd, 1, 50) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    shown.append(buffer, static_cast<size_t>(n));
  }
  auto f = p.Wait(10000);
  ::close(master);
  EXPECT_EQ(f.status, 0) << f.err;
  EXPECT_EQ(shown.find(kPassword), std::string::npos) << shown;
  EXPECT_EQ(f.err.find(kPassword), std::string::npos);
  EXPECT_EQ(ByPort(f.out)[port(0)]["outcome"], "queried");
}

// A reader that goes away (as with "| head") makes writes fail; that is a failure to report,
// not a signal that kills the run in the middle of a camera.
TEST_F(CliProgram, ClosedOutputIsAFailureNotACrash) {
  camsim::SimulatorOptions o;
  o.cameras = 3;
  o.overrides.push_back(
      {{true, 0}, camsim::Fault::kSilent, std::nullopt, std::nullopt, std::nullopt});
  StartCameras(o);
  Process p(TILTWISE_CLI_PATH,
            {"query", "--json", "-j", "1", "--timeout", "500", target(0), target(1), target(2)},
            {kEnvPassword});
  ASSERT_TRUE(p.started());
  p.CloseOutput();
  auto f = p.Wait(20000);
  ASSERT_TRUE(f.exited) << "killed by a signal";
  EXPECT_EQ(f.status, 1);
  EXPECT_NE(f.err.find("writing the report failed"), std::string::npos) << f.err;
}

TEST_F(CliProgram, BadListsAndOptionsExitTwoAndSendNothing) {
  StartCameras({});
  const std::string list =
      WriteFile("bad.csv", "host,port,flip\n127.0.0.1," + std::to_string(port(0)) +
                               ",on\n127.0.0.1,70000,on\n127.0.0.1,81,sideways\n");
  // A misspelt wanted column must not leave the cameras to the option's value.
  const std::string misspelt = WriteFile(
      "misspelt.csv", "host;port;fllip;mirorr\n127.0.0.1;" + std::to_string(port(0)) + ";on;on\n");
  const std::string fifo = WriteFile("backup.fifo", "");
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"set", "--mirror", "on", "--input", list}, list + ":3: port \"70000\" is not a port"},
      {{"set", "--mirror", "on", "--input", list},
       list + ":4: flip \"sideways\" is not on, off or keep"},
      {{"query", "--input", "/nonexistent/list.csv"}, "/nonexistent/list.csv: cannot be read"},
      {{"set", "--flip", "off", "-i", misspelt},
       misspelt + ":1: unknown column \"fllip\": did you mean flip?"},
      {{"set", target(0)}, "nothing to change: give --flip or --mirror"},
      {{"set", "--force", "--flip", "on", target(0)}, "--force reads nothing first"},
      {{"restore", "-", "--password-stdin"}, "cannot both read standard input"},
      {{"qeury", target(0)}, "did you mean \"query\"?"},
      {{"query", "--jobs", "0", target(0)}, "--jobs"},
      {{"query", "--deadline", "soon", target(0)}, "--deadline"},
      {{"query", "localhost:80"}, "\"localhost:80\" is not ADDRESS[:PORT]"},
      {{"query", "[::1]:80"}, "\"[::1]:80\" is not ADDRESS[:PORT]"},
      // Read leniently, each of these would reach 127.0.0.1 or 127.0.0.8.
      {{"query", "127.1"}, "\"127.1\" is not ADDRESS[:PORT]"},
      {{"query", "127.0.0.010"}, "\"127.0.0.010\" is not ADDRESS[:PORT]"},
      {{"query", "127.0.0.1 x"}, "\"127.0.0.1 x\" is not ADDRESS[:PORT]"},
      {{"query", target(0), target(0)}, "is named more than once"},
      {{"query", "--password", kPassword, target(0)}, "never taken as an argument"},
      {{"query", std::string("-p") + kPassword, target(0)}, "never taken as an argument"},
      {{"set", std::string("-np") + kPassword, target(0)}, "never taken as an argument"},
      {{"query", std::string("--password-stdin=") + kPassword, target(0)},
       "never taken as an argument"},
      {{"query", "--input", "/dev/zero"}, "/dev/zero:1: a line longer than 64 KiB"},
      // Endless input ends at the line bound, and no file stands in for a backup.
      {{"restore", "/dev/zero"}, "/dev/zero:1: a line longer than 64 KiB"},
      {{"query", "--password-file", "/dev/zero", target(0)}, "cannot read the password file"},
      {{"scan", "--credentials", "/dev/zero", "--port", std::to_string(port(0)), "127.0.0.1"},
       "/dev/zero:1: a line longer than 64 KiB"},
      {{"set", "--flip", "on", "--backup", fifo, target(0)}, fifo + " is no regular file"},
      {{"set", "--flip", "on", "--backup", "/dev/null", target(0)}, "is no regular file"},
      // Connecting to 0.0.0.0 reaches this machine's cameras.
      {{"set", "--flip", "on", "0.0.0.0:" + std::to_string(port(0))}, "names no camera"},
      {{"query", "224.0.0.1"}, "names no camera"},
      {{"query", "--password-stdin", "--input", "-"}, "cannot both read standard input"},
      {{"bogus"}, ""},
  };
  for (const Case& c : cases) {
    auto r = Run(c.args);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 2) << c.error << "\n" << r.err << r.out;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.find(kPassword), std::string::npos) << r.err;
  }
  EXPECT_EQ(sim_->request_count(), 0u);

  auto help = Run({"set", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--verify-timeout"), std::string::npos);
}

TEST_F(CliProgram, DeadlineCutsOffATricklingCamera) {
  camsim::SimulatorOptions o;
  o.cameras = 2;
  o.trickle_interval = std::chrono::milliseconds(50);
  o.overrides.push_back(
      {{true, 0}, camsim::Fault::kTrickle, std::nullopt, std::nullopt, std::nullopt});
  StartCameras(o);
  auto r = Run({"query", "--deadline", "1", "--json", target(0), target(1)});
  EXPECT_EQ(r.status, 1) << r.err;
  std::map<int, json> by = ByPort(r.out);
  EXPECT_EQ(by[port(0)]["ok"], false);
  EXPECT_EQ(by[port(0)]["cause"], "deadline");
  EXPECT_FALSE(by[port(0)].contains("note"));  // said once, in the detail
  EXPECT_NE(by[port(0)]["detail"].get<std::string>().find(": cut off by the deadline of 1 s"),
            std::string::npos)
      << by[port(0)];
  EXPECT_FALSE(by[port(1)].contains("detail"));
  EXPECT_LT(by[port(0)]["elapsed_ms"].get<int>(), 5000);  // not the 100 s of a whole reply
  EXPECT_EQ(by[port(1)]["ok"], true);
}

// A site changed in one value, backed up, retried and rolled back, each as one command.
TEST_F(CliProgram, KeepBackupRetryAndRestore) {
  camsim::SimulatorOptions o;
  o.cameras = 4;
  o.mirror = 1;
  o.overrides.push_back({{true, 3}, std::nullopt, std::nullopt, std::nullopt, "other"});
  StartCameras(o);
  sim_->SetState(port(2), 1, 1);  // already as wanted
  std::string list = "host,port\n";
  for (int i = 0; i < 4; ++i) list += "127.0.0.1," + std::to_string(port(i)) + "\n";
  const std::string input = WriteFile("site.csv", list);
  const std::string backup = WriteFile("before.jsonl", "");
  ::unlink(backup.c_str());

  // Only Flip is named: every camera keeps its own Mirror.
  auto set = Run({"set", "--flip", "on", "--input", input, "--backup", backup, "--json"});
  EXPECT_EQ(set.status, 1) << set.err;  // the camera with another password
  const std::string report = WriteFile("result.jsonl", set.out);
  std::map<int, json> by = ByPort(set.out);
  EXPECT_EQ(by[port(0)]["outcome"], "set");
  EXPECT_EQ(by[port(0)]["user"], "admin");
  EXPECT_EQ(by[port(2)]["outcome"], "already-set");
  for (int i : {0, 1, 2}) {
    EXPECT_EQ(sim_->state(port(i))->flip, 1) << i;
    EXPECT_EQ(sim_->state(port(i))->mirror, 1) << i;
  }
  std::ifstream backupIn(backup);
  std::stringstream backupText;
  backupText << backupIn.rdbuf();
  std::map<int, json> saved = ByPort(backupText.str());
  ASSERT_EQ(saved.size(), 2u) << backupText.str();  // the two about to change
  EXPECT_EQ(saved[port(1)]["flip_before"], false);
  EXPECT_EQ(saved[port(1)]["mirror_before"], true);

  // Retry the failure: only the camera that failed is reached, and its report says why again.
  const size_t requests = sim_->request_count();
  auto retry = Run({"set", "--flip", "on", "--input", report, "--only-failed", "--csv"});
  EXPECT_EQ(retry.status, 1);
  EXPECT_EQ(
      retry.out.rfind("index,address,port,user,name,location,action,outcome,ok,message,cause,", 0),
      0u)
      << retry.out;
  EXPECT_NE(retry.out.find("\r\n1,127.0.0.1," + std::to_string(port(3)) +
                           ",admin,,,set,query-info-failed,false,"),
            std::string::npos)
      << retry.out;
  EXPECT_NE(retry.err.find("1 camera: 0 ok, 1 failed"), std::string::npos) << retry.err;
  EXPECT_EQ(sim_->request_count() - requests, 1u);  // the refused probe ends the login

  // Roll back from the report: the set cameras only, to their values before.
  sim_->SetState(port(2), 0, 0);  // left alone although it changed since: the report says unchanged
  auto restore = Run({"restore", report, "--json"});
  EXPECT_EQ(restore.status, 0) << restore.err;
  EXPECT_NE(restore.err.find("2 camera(s) " + report + " shows unchanged are left alone"),
            std::string::npos)
      << restore.err;
  std::map<int, json> back = ByPort(restore.out);
  EXPECT_EQ(back.size(), 2u) << restore.out;
  for (int i : {0, 1}) {
    EXPECT_EQ(back[port(i)]["outcome"], "set") << back[port(i)];
    EXPECT_EQ(sim_->state(port(i))->flip, 0) << i;
    EXPECT_EQ(sim_->state(port(i))->mirror, 1) << i;
  }
  EXPECT_EQ(sim_->state(port(2))->flip, 0);
  // Once restored, a second restore finds nothing to do and sends no set.
  const size_t sets = SetCommands();
  auto again = Run({"restore", backup});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(SetCommands(), sets);
}

// The most cameras of `ports` restarting at once, from the simulator's restart lines.
size_t MostRestartingAtOnce(const std::string& log, const std::vector<std::string>& ports) {
  size_t away = 0;
  size_t most = 0;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const std::string port = line.substr(line.find(':') + 1, line.find(' ') - line.find(':') - 1);
    if (std::find(ports.begin(), ports.end(), port) == ports.end()) continue;
    if (line.find(" restart begins") != std::string::npos) most = std::max(most, ++away);
    if (line.find(" restart ends") != std::string::npos && away > 0) --away;
  }
  return most;
}

TEST_F(CliProgram, RestartsOverlapAndArePaced) {
  Process sim(TILTWISE_CAMSIM_PATH,
              {"--port", "0", "--cameras", "12", "--reboot-seconds", "1", "--password", kPassword});
  ASSERT_TRUE(sim.WaitForOutput(" cameras)\n", 5000)) << sim.output();
  const size_t at = sim.output().find("127.0.0.1:") + 10;
  const int first = std::stoi(sim.output().substr(at));
  std::vector<std::string> ports[2];
  for (int i = 0; i < 12; ++i) ports[i / 6].push_back(std::to_string(first + i));
  auto run = [&](std::vector<std::string> args, const std::vector<std::string>& cameras) {
    for (const std::string& p : cameras) args.push_back("127.0.0.1:" + p);
    return Run(args);
  };
  // One job slot, yet the cameras restart together: a wait for a restart holds none.
  auto one = run({"set", "--flip", "on", "--verify", "-j", "1", "--json"}, ports[0]);
  EXPECT_EQ(one.status, 0) << one.err << one.out;
  auto paced =
      run({"set", "--flip", "on", "--verify", "--max-restarting", "2", "--json"}, ports[1]);
  EXPECT_EQ(paced.status, 0) << paced.err << paced.out;
  for (const auto& out : {one.out, paced.out}) {
    for (auto& [camera, j] : ByPort(out)) EXPECT_EQ(j["verified"], true) << j;
  }
  sim.Signal(SIGTERM);
  const std::string log = sim.Wait(5000).out;
  EXPECT_GE(MostRestartingAtOnce(log, ports[0]), 3u) << log;
  EXPECT_EQ(MostRestartingAtOnce(log, ports[1]), 2u) << log;
}

// A run killed outright still leaves a backup that restores every camera it changed.
TEST_F(CliProgram, RestoreAfterAKilledRun) {
  camsim::SimulatorOptions o;
  o.cameras = 8;
  o.reboot_time = std::chrono::milliseconds(1000);
  StartCameras(o);
  std::string list = "host,port\n";
  for (int i = 0; i < 8; ++i) list += "127.0.0.1," + std::to_string(port(i)) + "\n";
  const std::string input = WriteFile("site.csv", list);
  const std::string backup = WriteFile("before.jsonl", "");
  ::unlink(backup.c_str());
  Process p(TILTWISE_CLI_PATH,
            {"set", "--mirror", "on", "--input", input, "--backup", backup, "--verify", "-j", "2",
             "--max-restarting", "3", "--json"},
            {kEnvPassword});
  ASSERT_TRUE(p.started());
  // Three restart at once; the next set follows the first camera's return and report line.
  for (int i = 0; i < 800 && SetCommands() < 5; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  p.Signal(SIGKILL);
  auto killed = p.Wait(5000);
  EXPECT_FALSE(killed.exited);
  for (int i = 0; i < 300; ++i) {
    bool back = true;
    for (int c = 0; c < 8; ++c) back = back && sim_->state(port(c))->listening;
    if (back) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const size_t changed = SetCommands();
  EXPECT_GE(changed, 5u);
  EXPECT_LT(changed, 8u);  // cut off mid-run

  // The killed run's report, cut in the middle of a line, restores the cameras it finished.
  const std::string cut = WriteFile("cut.jsonl", killed.out + "{\"address\":\"127.0.0.1\",\"po");
  auto fromReport = Run({"restore", cut, "--dry-run", "--json"});
  EXPECT_EQ(fromReport.status, 0) << fromReport.err;
  EXPECT_NE(fromReport.err.find("the last line is cut short"), std::string::npos) << fromReport.err;
  for (auto& [camera, j] : ByPort(fromReport.out)) EXPECT_EQ(j["outcome"], "would-set") << j;
  EXPECT_GE(ByPort(fromReport.out).size(), 1u);

  // The backup holds every camera a set went to, finished or not.
  auto restore = Run({"restore", backup, "--verify", "--json"}, 60000);
  EXPECT_EQ(restore.status, 0) << restore.err << restore.out;
  // A line may precede a set the kill stopped: that camera is read and left as it is.
  size_t setBack = 0;
  for (auto& [camera, j] : ByPort(restore.out)) setBack += j["outcome"] == "set" ? 1 : 0;
  EXPECT_EQ(setBack, changed) << restore.out;
  for (int i = 0; i < 8; ++i) EXPECT_EQ(sim_->state(port(i))->mirror, 0) << i;
}

// Ctrl-C or SIGTERM: the cameras under way finish, the rest are reported as not started, exit
// 130. A second of either stops at once: the cameras under way are reported interrupted.
TEST_F(CliProgram, InterruptReportsEveryCamera) {
  camsim::SimulatorOptions o;
  o.cameras = 8;
  for (int i = 0; i < 8; ++i) {
    o.overrides.push_back(
        {{true, i}, camsim::Fault::kSilent, std::nullopt, std::nullopt, std::nullopt});
  }
  StartCameras(o);
  const struct {
    std::vector<int> signals;
    std::string underWay;
  } cases[] = {{{SIGTERM}, "query-info-failed"},
               {{SIGINT, SIGINT}, "interrupted"},
               {{SIGINT, SIGTERM}, "interrupted"}};
  for (const auto& c : cases) {
    const size_t before = sim_->request_count();
    std::vector<std::string> args = {"query", "-j", "2", "--timeout", "4s", "--json"};
    for (int i = 0; i < 8; ++i) args.push_back(target(i));
    Process p(TILTWISE_CLI_PATH, args, {kEnvPassword});
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(sim_->WaitForRequests(before + 2, std::chrono::milliseconds(5000)));
    const auto signalled = cli_test::Clock::now();
    for (int sig : c.signals) {
      p.Signal(sig);
      ASSERT_TRUE(p.WaitForError("stopping", 2000)) << sig;
    }
    auto f = p.Wait(20000);
    ASSERT_TRUE(f.exited);
    EXPECT_EQ(f.status, 130) << f.err;
    // At once: well before the silent cameras' 4 s wait runs out.
    if (c.underWay == "interrupted") {
      EXPECT_LT(cli_test::Clock::now() - signalled, std::chrono::milliseconds(3000));
    }
    std::map<int, json> by = ByPort(f.out);
    ASSERT_EQ(by.size(), 8u) << f.out;
    size_t started = 0;
    for (auto& [port, j] : by) {
      if (j["outcome"] == "not-started") {
        EXPECT_EQ(j["cause"], "stopped") << j;
        continue;
      }
      ++started;
      EXPECT_EQ(j["outcome"], c.underWay) << j;
      EXPECT_NE(j["cause"], "none") << j;  // every failure has a cause
    }
    EXPECT_EQ(started, 2u) << f.out;
    EXPECT_EQ(sim_->request_count(), before + 2);
  }
}

// Restore puts back only what the set changed and the camera still holds as it wrote it; a
// set whose reply was lost counts as one that went out.
TEST_F(CliProgram, RestoreTakesBackOnlyWhatTheSetChanged) {
  camsim::SimulatorOptions o;
  o.cameras = 3;
  o.overrides.push_back(
      {{true, 1}, camsim::Fault::kDropSet, std::nullopt, std::nullopt, std::nullopt});
  o.overrides.push_back(
      {{true, 2}, camsim::Fault::kSlowSet, std::nullopt, std::nullopt, std::nullopt});
  StartCameras(o);
  const std::string backup = WriteFile("before.jsonl", "");
  ::unlink(backup.c_str());
  auto set = Run({"set", "--flip", "on", "--timeout", "500ms", "--backup", backup, "--json",
                  target(0), target(1), target(2)});
  EXPECT_EQ(set.status, 1) << set.err;
  std::map<int, json> by = ByPort(set.out);
  EXPECT_EQ(by[port(0)]["flip_wanted"], true);
  EXPECT_EQ(by[port(0)]["mirror_wanted"], "keep");  // what was asked, for a retry
  for (int i : {1, 2}) {
    EXPECT_EQ(by[port(i)]["outcome"], "device-type-nvr") << by[port(i)];
    EXPECT_EQ(by[port(i)]["request"], "setmotorrange");
    EXPECT_EQ(sim_->state(port(i))->flip, 1);  // taken, though no reply came in time
  }
  EXPECT_EQ(by[port(2)]["cause"], "timed-out");
  const std::string report = WriteFile("result.jsonl", set.out);

  for (int i : {1, 2}) sim_->SetFault(port(i), camsim::Fault::kNone);
  sim_->SetState(port(0), 1, 1);  // someone turns Mirror on since
  for (const std::string& from : {report, backup}) {
    auto restore = Run({"restore", from, "--json"});
    EXPECT_EQ(restore.status, 0) << restore.err << restore.out;
    std::map<int, json> back = ByPort(restore.out);
    EXPECT_EQ(back.size(), 3u) << restore.out;
    const char* expected = from == report ? "set" : "already-restored";
    for (int i : {0, 1, 2}) EXPECT_EQ(back[port(i)]["outcome"], expected) << back[port(i)];
    EXPECT_EQ(sim_->state(port(0))->flip, 0);
    EXPECT_EQ(sim_->state(port(0))->mirror, 1);  // not the set's change: it stays
    EXPECT_EQ(sim_->state(port(1))->flip, 0);
    EXPECT_EQ(sim_->state(port(2))->flip, 0);
  }
  EXPECT_EQ(SetCommands(), 6u);  // three sets, three restores, none for already-restored
}

// Only "0" and "1" are values: anything else is not read, and no set follows it.
TEST_F(CliProgram, OtherValueTextsAreNotRead) {
  camsim::SimulatorOptions o;
  o.flip_text = "2";
  StartCameras(o);
  for (std::vector<std::string> args :
       {std::vector<std::string>{"query"}, {"set", "--flip", "off", "--mirror", "off"}}) {
    args.insert(args.end(), {"--json", target(0)});
    auto r = Run(args);
    EXPECT_EQ(r.status, 1) << r.err;
    json j = ByPort(r.out)[port(0)];
    EXPECT_EQ(j["outcome"], "not-read") << j;
    EXPECT_EQ(j["cause"], "values-missing");
    EXPECT_EQ(j["detail"], "flip is '2', neither 0 nor 1");
    EXPECT_TRUE(j["flip_before"].is_null());
  }
  EXPECT_EQ(SetCommands(), 0u);
}

// A read verifies only after the restart: a camera that keeps the new values for a moment and
// comes back without them is not verified; one that restarts twice is read until it holds them.
TEST_F(CliProgram, VerifyWaitsOutLateAndSecondRestarts) {
  camsim::SimulatorOptions o;
  o.cameras = 3;
  o.reboot_time = std::chrono::milliseconds(1000);
  o.late_restart = std::chrono::milliseconds(1500);
  o.overrides.push_back(
      {{true, 0}, camsim::Fault::kForget, std::nullopt, std::nullopt, std::nullopt});
  o.overrides.push_back(
      {{true, 1}, camsim::Fault::kTwice, std::nullopt, std::nullopt, std::nullopt});
  o.overrides.push_back(
      {{true, 2}, camsim::Fault::kDropSet, std::nullopt, std::nullopt, std::nullopt});
  StartCameras(o);
  auto r = Run({"set", "--flip", "on", "--verify", "--verify-timeout", "8", "--verify-settle", "4",
                "--json", target(0), target(1), target(2)});
  EXPECT_EQ(r.status, 1) << r.err << r.out;
  std::map<int, json> by = ByPort(r.out);
  EXPECT_EQ(by[port(0)]["outcome"], "not-applied") << by[port(0)];
  EXPECT_EQ(by[port(0)]["flip_after"], false);
  for (int i : {1, 2}) {
    EXPECT_EQ(by[port(i)]["outcome"], "set") << by[port(i)];
    EXPECT_EQ(by[port(i)]["verified"], true);
    EXPECT_EQ(by[port(i)]["flip_after"], true);
  }
  EXPECT_GE(by[port(1)]["elapsed_ms"].get<int>(), 3500);  // back from its second restart
}

// The first stop lets a restart wait finish; SIGHUP stops like SIGTERM; a backup that is
// standard output is refused before anything is sent.
TEST_F(CliProgram, StopsLetRestartsFinishAndBackupsStayApart) {
  camsim::SimulatorOptions o;
  o.cameras = 2;
  o.reboot_time = std::chrono::milliseconds(1500);
  StartCameras(o);
  for (int sig : {SIGINT, SIGHUP}) {
    Process p(TILTWISE_CLI_PATH,
              {"set", "--flip", sig == SIGINT ? "on" : "off", "--verify", "--max-restarting", "1",
               "--json", target(0), target(1)},
              {kEnvPassword});
    for (int i = 0; i < 500 && SetCommands() < (sig == SIGINT ? 1u : 2u); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    p.Signal(sig);
    auto f = p.Wait(20000);
    EXPECT_EQ(f.status, 130) << f.err;
    std::map<int, json> by = ByPort(f.out);
    ASSERT_EQ(by.size(), 2u) << f.out;
    EXPECT_EQ(by[port(0)]["verified"], true) << by[port(0)];
    EXPECT_EQ(by[port(1)]["outcome"], "not-started");
    EXPECT_EQ(by[port(1)]["cause"], "stopped");
  }

  const size_t requests = sim_->request_count();
  const std::string out = WriteFile("r.jsonl", "");
  Process sh("/bin/sh",
             {"-c", std::string(TILTWISE_CLI_PATH) + " set --flip on --backup " + out + " --json " +
                        target(0) + " > " + out},
             {kEnvPassword});
  auto f = sh.Wait(20000);
  EXPECT_EQ(f.status, 2) << f.err;
  EXPECT_NE(f.err.find("is also where the report or the messages go"), std::string::npos) << f.err;
  EXPECT_EQ(sim_->request_count(), requests);
}

// A scan's list keeps only its cameras and the devices other logins may open.
TEST_F(CliProgram, ScanListsGiveOnlyTheirCameras) {
  camsim::SimulatorOptions o;
  o.cameras = 4;
  StartCameras(o);
  std::string list = "host,port,user,status,chip_type,flip_now,mirror_now\n";
  const char* statuses[] = {"camera", "auth-failed", "not-a-camera", "no-answer"};
  for (int i = 0; i < 4; ++i) {
    list += "127.0.0.1," + std::to_string(port(i)) + ",admin," + statuses[i] + ",71,0,0\n";
  }
  auto r = Run({"query", "--json", "--input", WriteFile("site.csv", list)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ByPort(r.out).size(), 2u) << r.out;
  EXPECT_NE(r.err.find("2 device(s) the scan found to be no camera"), std::string::npos) << r.err;
  for (const auto& record : sim_->requests()) EXPECT_LT(record.port, port(2));
}

// A list as a spreadsheet saves it, its own columns carried through set, and each report fed
// back as a list as it is, the columns still with their cameras.
TEST_F(CliProgram, SpreadsheetListsAndReportsFeedEachOther) {
  camsim::SimulatorOptions o;
  o.cameras = 3;
  StartCameras(o);
  std::string list = "\xEF\xBB\xBFsep=;\r\nHost;Port;Name;notes;Serial;flip\r\n;;;;;\r\n";
  const char* names[] = {
      "K\xC3\xBC"
      "che",
      "\xE6\x9D\xB1\xE4\xBA\xAC",
      "Entr\xC3\xA9"
      "e"};
  for (int i = 0; i < 3; ++i) {
    list += "127.0.0.1 ;" + std::to_string(port(i)) + ";" + names[i] + ";\" note; " +
            std::to_string(i) + "\";S" + std::to_string(i) + ";" + (i == 1 ? "off" : "") + "\r\n";
  }
  list += ";;;;;\r\n";
  auto set = Run({"set", "--flip", "on", "--json", "-i", WriteFile("site.csv", list)});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(sim_->state(port(0))->flip, 1);
  EXPECT_EQ(sim_->state(port(1))->flip, 0);  // the list's own value won
  EXPECT_NE(set.err.find("carried into the report as they are: notes, Serial"), std::string::npos)
      << set.err;
  std::map<int, json> byPort = ByPort(set.out);
  ASSERT_EQ(byPort.size(), 3u) << set.out;
  for (int i = 0; i < 3; ++i) {
    const json& j = byPort[port(i)];
    EXPECT_EQ(j["index"], i + 1);
    EXPECT_EQ(j["name"], names[i]);
    EXPECT_EQ(j["notes"], " note; " + std::to_string(i));  // quoted: kept as it was
    EXPECT_EQ(j["Serial"], "S" + std::to_string(i));
  }

  // The table: the list's order, columns aligned by what the terminal shows.
  auto table = Run({"query", "-i", WriteFile("report.jsonl", set.out)});
  ASSERT_EQ(table.status, 0) << table.err;
  std::vector<std::string> rows;
  std::istringstream lines(table.out);
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_GE(rows.size(), 4u) << table.out;
  const size_t action = rows[0].find("ACTION");
  // Reported as cameras finished, listed as the first list had them.
  const std::string widths[] = {
      "127.0.0.1:" + std::to_string(port(0)) +
          "  K\xC3\xBC"
          "che   -",
      "127.0.0.1:" + std::to_string(port(1)) + "  \xE6\x9D\xB1\xE4\xBA\xAC    -",
      "127.0.0.1:" + std::to_string(port(2)) +
          "  Entr\xC3\xA9"
          "e  -"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i + 1].rfind(widths[i], 0), 0u) << table.out;
    EXPECT_EQ(rows[i + 1].find("S" + std::to_string(i)), rows[0].find("SERIAL") + (i == 1 ? 2 : 1))
        << table.out;
  }
  EXPECT_NE(rows[0].find("NOTES"), std::string::npos) << rows[0];
  EXPECT_EQ(action, rows[0].find("ACTION"));

  // A CSV report read back as a list, quietly: nothing failed, so nothing shows.
  auto csv = Run({"query", "--csv", "-i", WriteFile("report2.jsonl", set.out)});
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out.rfind("index,address,port,", 0), 0u) << csv.out;
  auto again = Run({"query", "--json", "-i", WriteFile("report.csv", csv.out)});
  ASSERT_EQ(again.status, 0) << again.err;
  byPort = ByPort(again.out);
  ASSERT_EQ(byPort.size(), 3u) << again.out;
  EXPECT_EQ(byPort[port(2)]["notes"], " note; 2");
  EXPECT_EQ(byPort[port(2)]["name"], names[2]);
  EXPECT_EQ(byPort[port(0)]["flip_before"], true);
  auto quiet = Run({"query", "-q", "-i", WriteFile("report3.csv", csv.out)});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out + quiet.err, "");

  // Verbose: every request and its status, never the credentials.
  const int nobody = cli_test::UnusedPort();
  auto verbose = Run({"query", "-v", "-q", target(0)});
  EXPECT_EQ(verbose.status, 2);
  verbose = Run({"query", "-v", target(0), "127.0.0.1:" + std::to_string(nobody)});
  EXPECT_EQ(verbose.status, 1);
  EXPECT_NE(verbose.err.find("tiltwise-cli: " + target(0) +
                             " GET /param.cgi?cmd=getmotorrange HTTP/1.1 -> HTTP/1.1 200 OK ("),
            std::string::npos)
      << verbose.err;
  EXPECT_NE(verbose.err.find(std::to_string(nobody) + " GET /qx.html HTTP/1.1 -> no reply"),
            std::string::npos)
      << verbose.err;
  EXPECT_EQ(verbose.err.find("Authorization"), std::string::npos);
  EXPECT_EQ(verbose.err.find("Basic"), std::string::npos);
  quiet = Run({"query", "--quiet", target(0), "127.0.0.1:" + std::to_string(nobody)});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.out.find(target(0)), std::string::npos) << quiet.out;
  EXPECT_NE(quiet.out.find("FAILED"), std::string::npos) << quiet.out;
  EXPECT_NE(quiet.out.find("2 cameras: 1 ok, 1 failed"), std::string::npos) << quiet.out;
}

}  // namespace
