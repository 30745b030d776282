// The tiltwise-camsim program as scripts and other processes see it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "res/version.h"
#include "tests/TestClient.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using camsim_test::Get;

// A child process with its standard output and error on pipes; killed if a test leaves it.
class Child {
 public:
  explicit Child(const std::string& program, std::vector<std::string> args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    for (int fd : {out[0], out[1], err[0], err[1]}) fcntl(fd, F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
  }
  bool started() const { return pid_ > 0; }

  // The next line of standard output without its newline; "" after `timeout_ms`.
  std::string ReadLine(int timeout_ms = 5000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      size_t nl = out_buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = out_buffer_.substr(0, nl);
        out_buffer_.erase(0, nl + 1);
        return line;
      }
      if (!ReadMore(out_, &out_buffer_, camsim_test::RemainingMs(deadline))) return "";
    }
  }
  // All of standard error until the child closes it (bounded).
  std::string ReadAllErrors(int timeout_ms = 5000) {
    std::string text;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (ReadMore(err_, &text, camsim_test::RemainingMs(deadline))) {
    }
    return text;
  }
  std::string ReadAllOutput(int timeout_ms = 5000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (ReadMore(out_, &out_buffer_, camsim_test::RemainingMs(deadline))) {
    }
    return std::move(out_buffer_);
  }

  // The exit status, or -1 when it did not exit normally within `timeout_ms`.
  int Wait(int timeout_ms = 5000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (pid_ > 0) {
      int status = 0;
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (Clock::now() > deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  void Signal(int sig) { kill(pid_, sig); }

 private:
  static bool ReadMore(int fd, std::string* into, int timeout_ms) {
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) != 1) return false;
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    into->append(buf, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string out_buffer_;
};

// The port from "listening on 127.0.0.1:PORT" or "...:FIRST-LAST (N cameras)".
int PortOf(const std::string& line) {
  size_t colon = line.rfind(':');
  return colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
}

TEST(ProgramTest, ServesLogsAndStopsCleanlyOnSigterm) {
  Child child(TILTWISE_CAMSIM_PATH, {"--port", "0", "--cameras", "2", "--fault", "@1:silent"});
  ASSERT_TRUE(child.started());
  std::string line = child.ReadLine();
  ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << line;
  int port = PortOf(line);
  ASSERT_GT(port, 0);
  EXPECT_EQ(line, "listening on 127.0.0.1:" + std::to_string(port) + "-" +
                      std::to_string(port + 1) + " (2 cameras)");

  EXPECT_NE(Get(port, "/qx.html").data.find("var chip_type=71;"), std::string::npos);
  EXPECT_EQ(child.ReadLine(), std::to_string(port) + " GET /qx.html 200");
  Get(port, "/param.cgi?cmd=getmotorrange", "admin", "wrong");
  EXPECT_EQ(child.ReadLine(), std::to_string(port) + " GET /param.cgi?cmd=getmotorrange 401");

  // A client left hanging on the silent camera must not keep the program from stopping.
  int hanging = camsim_test::Connect(port + 1);
  ASSERT_GE(hanging, 0);
  camsim_test::SendAll(hanging, "GET /qx.html HTTP/1.1\r\n\r\n");
  EXPECT_EQ(child.ReadLine(), std::to_string(port + 1) + " GET /qx.html - fault=silent");

  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(), 0);
  std::string rest = child.ReadAllOutput();
  EXPECT_EQ(rest.find("quillpen"), std::string::npos);
  EXPECT_EQ(rest.find(camsim_test::Base64("admin:quillpen")), std::string::npos);
  camsim_test::Reply r;
  camsim_test::ReadReply(hanging, 2000, &r);
  close(hanging);
  EXPECT_TRUE(r.closed);
  EXPECT_EQ(camsim_test::Connect(port), -1);
}

TEST(ProgramTest, ALogPipeNobodyReadsHoldsUpNoCamera) {
  Child child(TILTWISE_CAMSIM_PATH, {"--port", "0"});
  int port = PortOf(child.ReadLine());
  ASSERT_GT(port, 0);
  // From here on nobody reads standard output: 200 lines of 7 KB overflow the pipe and the
  // simulator's buffer.
  const std::string path = "/" + std::string(7000, 'a');
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(Get(port, path).data.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << "request " << i;
  }
  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(), 0);
  std::string errors = child.ReadAllErrors();
  size_t dropped = std::strtoul(errors.c_str() + errors.find(": ") + 2, nullptr, 10);
  EXPECT_NE(errors.find(" log lines dropped: nothing read the output in time\n"), std::string::npos)
      << errors;
  EXPECT_GE(dropped, 20u) << errors;
  EXPECT_LT(dropped, 200u) << "the pipe and the buffer hold some";
}

TEST(ProgramTest, LogsEachRestartsBeginningAndEnd) {
  Child child(TILTWISE_CAMSIM_PATH, {"--port", "0", "--cameras", "2", "--reboot-seconds", "1"});
  int port = PortOf(child.ReadLine()) + 1;
  ASSERT_GT(port, 1);
  const std::string set = "/param.cgi?cmd=setmotorrange&-flip=1&-mirror=1";
  EXPECT_NE(Get(port, set).data.find("[Succeed]"), std::string::npos);
  EXPECT_EQ(child.ReadLine(), std::to_string(port) + " GET " + set + " 200");
  const std::string camera = "127.0.0.1:" + std::to_string(port);
  EXPECT_EQ(child.ReadLine(), camera + " restart begins");
  EXPECT_EQ(camsim_test::Connect(port), -1);
  EXPECT_EQ(child.ReadLine(3000), camera + " restart ends");
  int fd = camsim_test::Connect(port);
  EXPECT_GE(fd, 0) << "the end is logged once the camera accepts again";
  if (fd >= 0) close(fd);
  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(), 0);
}

TEST(ProgramTest, HostsRunOneCameraPerAddressWithFaultsAndLockout) {
  Child child(TILTWISE_CAMSIM_PATH,
              {"--hosts", "127.0.0.10-127.0.0.12", "--port", "0", "--fault", "@1:silent",
               "--password-at", "@2:other", "--lockout-after", "2"});
  std::string line = child.ReadLine();
  int port = PortOf(line);
  ASSERT_GT(port, 0);
  const std::string p = std::to_string(port);
  EXPECT_EQ(line, "listening on 127.0.0.10-127.0.0.12:" + p + " (3 cameras)");

  EXPECT_NE(camsim_test::GetAt("127.0.0.10", port, "/qx.html").data.find("200 OK"),
            std::string::npos);
  EXPECT_EQ(child.ReadLine(), "127.0.0.10:" + p + " GET /qx.html 200");
  camsim_test::Reply silent =
      camsim_test::GetAt("127.0.0.11", port, "/qx.html", "admin", "quillpen", 300);
  EXPECT_TRUE(silent.connected);
  EXPECT_EQ(silent.data, "");
  EXPECT_EQ(child.ReadLine(), "127.0.0.11:" + p + " GET /qx.html - fault=silent");

  // A success clears the count; two failures in a row lock the camera, right password or not.
  auto status = [&](const char* password) {
    std::string reply = camsim_test::GetAt("127.0.0.12", port, "/qx.html", "admin", password).data;
    return reply.substr(0, reply.find("\r\n"));
  };
  EXPECT_EQ(status("quillpen"), "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(status("other"), "HTTP/1.1 200 OK");
  EXPECT_EQ(status("wrong"), "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(status("other"), "HTTP/1.1 200 OK");
  EXPECT_EQ(status("wrong"), "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(status("wrong"), "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(status("other"), "HTTP/1.1 403 Forbidden");
  EXPECT_NE(camsim_test::GetAt("127.0.0.10", port, "/qx.html").data.find("200 OK"),
            std::string::npos)
      << "the other cameras keep their own count";
  EXPECT_EQ(camsim_test::Connect(port, 2000, 0, "127.0.0.13"), -1);
  child.Signal(SIGTERM);
  EXPECT_EQ(child.Wait(), 0);
}

TEST(ProgramTest, SigintStopsItToo) {
  Child child(TILTWISE_CAMSIM_PATH, {"--port=0", "--quiet"});
  ASSERT_TRUE(child.started());
  std::string line = child.ReadLine();
  int port = PortOf(line);
  ASSERT_GT(port, 0);
  EXPECT_EQ(line, "listening on 127.0.0.1:" + std::to_string(port));
  EXPECT_NE(Get(port, "/qx.html").data.find("200 OK"), std::string::npos);
  child.Signal(SIGINT);
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(child.ReadAllOutput(), "") << "--quiet prints no request lines";
}

TEST(ProgramTest, BadUsageExitsWithStatus2) {
  Child child(TILTWISE_CAMSIM_PATH, {"--flip", "yes"});
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.Wait(), 2);
  EXPECT_EQ(child.ReadAllErrors(),
            "tiltwise-camsim: --flip: not a valid number: 'yes' (expected 0..1)\n"
            "Try 'tiltwise-camsim --help' for more information.\n");
}

TEST(ProgramTest, VersionIsTheProjects) {
  Child child(TILTWISE_CAMSIM_PATH, {"--version"});
  EXPECT_EQ(child.ReadAllOutput(), std::string("tiltwise-camsim ") + TILTWISE_VERSION_STR + "\n");
  EXPECT_EQ(child.Wait(), 0);
}

TEST(ProgramTest, HelpListsTheOptions) {
  Child child(TILTWISE_CAMSIM_PATH, {"--help"});
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.Wait(), 0);
  std::string help = child.ReadAllOutput();
  for (const char* option :
       {"--bind",          "--port",           "--cameras",      "--base-port",    "--user",
        "--password",      "--chip-type",      "--flip",         "--mirror",       "--no-info-page",
        "--http10",        "--reboot-seconds", "--fault",        "--chip-type-at", "--user-at",
        "--password-at",   "--quiet",          "novalues",       "reset",          "--hosts",
        "--lockout-after", "--version",        "restart begins", "restart ends"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

TEST(ProgramTest, APortInUseExitsWithStatus1) {
  Child first(TILTWISE_CAMSIM_PATH, {"--port", "0", "--quiet"});
  int port = PortOf(first.ReadLine());
  ASSERT_GT(port, 0);
  Child second(TILTWISE_CAMSIM_PATH, {"--port", std::to_string(port)});
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_EQ(second.ReadAllErrors(), "tiltwise-camsim: cannot listen on 127.0.0.1 port " +
                                        std::to_string(port) + ": Address already in use\n");
  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(), 0);
}

TEST(ProgramTest, CurlTalksToIt) {
  if (access("/usr/bin/curl", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/curl";
  Child sim(TILTWISE_CAMSIM_PATH, {"--port", "0", "--flip", "1", "--quiet"});
  int port = PortOf(sim.ReadLine());
  ASSERT_GT(port, 0);
  std::string url = "http://127.0.0.1:" + std::to_string(port);

  Child get("/usr/bin/curl", {"-s", "--max-time", "5", "-u", "admin:quillpen",
                              url + "/param.cgi?cmd=getmotorrange"});
  std::string body = get.ReadAllOutput();
  EXPECT_EQ(get.Wait(), 0);
  EXPECT_NE(body.find("var flip=\"1\";"), std::string::npos) << body;
  EXPECT_NE(body.find("var mirror=\"0\";"), std::string::npos) << body;

  Child refused("/usr/bin/curl", {"-s", "--max-time", "5", "-o", "/dev/null", "-w", "%{http_code}",
                                  "-u", "admin:nope", url + "/qx.html"});
  EXPECT_EQ(refused.ReadAllOutput(), "401");
  EXPECT_EQ(refused.Wait(), 0);

  Child set("/usr/bin/curl", {"-s", "--max-time", "5", "-0", "-u", "admin:quillpen",
                              url + "/param.cgi?cmd=setmotorrange&-flip=0&-mirror=1"});
  EXPECT_NE(set.ReadAllOutput().find("[Succeed]"), std::string::npos);
  EXPECT_EQ(set.Wait(), 0);
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
}

}  // namespace
