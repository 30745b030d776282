// tiltwise-cli as scripts run it: a child process against the camera simulator on loopback.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "camsim/CameraSim.h"
#include "cli/TestProcess.h"
#include "tests/ScriptedPeer.h"

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
  EXPECT_EQ(by[port(0)]["flip_after"], true);
  EXPECT_EQ(by[port(0)]["address"], "127.0.0.1");
  EXPECT_TRUE(by[port(0)]["elapsed_ms"].is_number_integer());
  EXPECT_FALSE(by[port(0)].contains("detail"));
  EXPECT_EQ(by[port(1)]["message"], "Device type error HV!");
  EXPECT_EQ(by[port(1)]["detail"], "information page: chip type 72");
  EXPECT_EQ(by[port(1)]["ok"], false);
  EXPECT_EQ(by[port(2)]["message"], "Query camera info - get camera type error");
  EXPECT_EQ(by[port(2)]["detail"], "information page: chip type 73");
  // The fixed texts stay as the dialog shows them; the cause tells these three apart.
  EXPECT_EQ(by[port(3)]["message"], "Failed to query camera info");
  EXPECT_EQ(by[port(3)]["detail"],
            "getmotorrange: HTTP/1.1 401 Unauthorized: wrong user name or password");
  EXPECT_EQ(by[nobody]["message"], "Failed to query camera info");
  EXPECT_EQ(by[nobody]["detail"],
            "information page: no answer: connection refused or closed without a reply");
  EXPECT_EQ(by[nobody]["ok"], false);
  EXPECT_EQ(by[port(4)]["action"], "skip");
  EXPECT_EQ(by[port(4)]["outcome"], "already-set");
  EXPECT_EQ(by[port(4)]["ok"], true);
  EXPECT_EQ(by[port(5)]["outcome"], "set");
  EXPECT_EQ(by[port(5)]["flip_after"], false);
  EXPECT_EQ(by[port(5)]["mirror_after"], true);

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
  EXPECT_EQ(forced[port(2)]["detail"], "information page: chip type 73");
  EXPECT_EQ(SetCommands(), 2u);

  // The table puts the cause beside the text.
  auto t = Run({"query", target(3)});
  EXPECT_EQ(t.status, 1);
  EXPECT_NE(t.out.find("unauthorized  -     -       "), std::string::npos) << t.out;
  EXPECT_NE(t.out.find("getmotorrange: HTTP/1.1 401 Unauthorized: wrong user name or password "
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
    Process p(TILTWISE_CLI_PATH, args, way.env);
    ASSERT_TRUE(p.started());
    p.Write(way.input);
    p.CloseInput();
    // While it waits for the silent camera, look at what others can see of it.
    const size_t before = sim_->request_count();
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
  struct Case {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"set", "--mirror", "on", "--input", list}, list + ":3: port \"70000\" is not a port"},
      {{"set", "--mirror", "on", "--input", list}, list + ":4: flip \"sideways\" is not on or off"},
      {{"query", "--input", "/nonexistent/list.csv"}, "/nonexistent/list.csv: cannot be read"},
      {{"set", "--flip", "on", target(0)}, "set needs both --flip on|off and --mirror on|off"},
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
      {{"query", "--password-stdin", "--input", "-"}, "cannot both read standard input"},
      {{"bogus"}, ""},
  };
  for (const Case& c : cases) {
    auto r = Run(c.args);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 2) << c.error << "\n" << r.err;
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

// Ctrl-C: the cameras under way finish, the rest are reported as not started, exit 130.
TEST_F(CliProgram, InterruptReportsEveryCamera) {
  camsim::SimulatorOptions o;
  o.cameras = 8;
  for (int i = 0; i < 8; ++i) {
    o.overrides.push_back(
        {{true, i}, camsim::Fault::kSilent, std::nullopt, std::nullopt, std::nullopt});
  }
  StartCameras(o);
  for (int sig : {SIGINT, SIGTERM}) {
    const size_t before = sim_->request_count();
    std::vector<std::string> args = {"query", "-j", "2", "--timeout", "1500", "--json"};
    for (int i = 0; i < 8; ++i) args.push_back(target(i));
    Process p(TILTWISE_CLI_PATH, args, {kEnvPassword});
    ASSERT_TRUE(p.started());
    ASSERT_TRUE(sim_->WaitForRequests(before + 2, std::chrono::milliseconds(5000)));
    p.Signal(sig);
    auto f = p.Wait(20000);
    ASSERT_TRUE(f.exited);
    EXPECT_EQ(f.status, 130) << f.err;
    EXPECT_NE(f.err.find("stopping"), std::string::npos) << f.err;
    std::map<int, json> by = ByPort(f.out);
    ASSERT_EQ(by.size(), 8u) << f.out;
    size_t started = 0;
    for (auto& [port, j] : by) {
      if (j["outcome"] == "not-started") continue;
      ++started;
      EXPECT_EQ(j["message"], "Failed to query camera info");
    }
    EXPECT_EQ(started, 2u) << f.out;
    EXPECT_EQ(sim_->request_count(), before + 2);
  }
}

}  // namespace
