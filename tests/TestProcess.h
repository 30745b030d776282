// Test helpers: a child process with all three standard streams on pipes, and a free port.
// POSIX only, like the simulator the end-to-end tests run against. Every wait is bounded.
#ifndef TILTWISE_TESTS_TESTPROCESS_H_
#define TILTWISE_TESTS_TESTPROCESS_H_

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace cli_test {

using Clock = std::chrono::steady_clock;

// A port on 127.0.0.1 where nothing listens (bound once by the system, then released).
inline int UnusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  ::close(fd);
  return port;
}

struct Finished {
  bool exited = false;  // false: still running at the time limit (then killed)
  int status = -1;      // exit status when `exited`
  std::string out;
  std::string err;
};

class Process {
 public:
  // `env` entries ("NAME=value") are added to the test's own environment, minus
  // TILTWISE_PASSWORD unless given here.
  // `terminal`: a pseudo-terminal's descriptor to use as standard input instead of a pipe.
  Process(const std::string& program, std::vector<std::string> args,
          const std::vector<std::string>& env = {}, int terminal = -1) {
    int in[2], out[2], err[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) return;
    if (terminal >= 0) {
      ::close(in[0]);
      in[0] = ::dup(terminal);
    }
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "TILTWISE_PASSWORD=", 18) != 0) envText.emplace_back(*e);
    }
    for (const std::string& e : env) envText.push_back(e);
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    if (terminal >= 0) CloseInput();
    out_ = out[0];
    err_ = err[0];
    ::fcntl(out_, F_SETFL, O_NONBLOCK);
    ::fcntl(err_, F_SETFL, O_NONBLOCK);
  }
  ~Process() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    CloseInput();
    ::close(out_);
    ::close(err_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  void Write(const std::string& text) {
    size_t done = 0;
    while (in_ >= 0 && done < text.size()) {
      ssize_t n = ::write(in_, text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  void CloseInput() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
  }
  // As a reader that goes away early (`| head`): the program's writes then fail.
  void CloseOutput() {
    if (out_ >= 0) ::close(out_);
    out_ = -1;
  }
  // Reads output until `needle` shows up on standard error (or output) or `timeoutMs` runs out.
  bool WaitForError(const std::string& needle, int timeoutMs) {
    return WaitFor(err_text_, needle, timeoutMs);
  }
  bool WaitForOutput(const std::string& needle, int timeoutMs) {
    return WaitFor(out_text_, needle, timeoutMs);
  }
  const std::string& output() const { return out_text_; }
  void Signal(int sig) {
    if (pid_ > 0) ::kill(pid_, sig);
  }

  // The process's argument vector as the system shows it to other users.
  std::string CommandLine() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/cmdline", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // Closes standard input, collects all output and waits for the exit, killing the process
  // after `timeoutMs`.
  Finished Wait(int timeoutMs) {
    CloseInput();
    Finished f;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end && (out_ >= 0 || err_ >= 0)) Pump(50);
    int status = 0;
    pid_t r = 0;
    while (pid_ > 0 && (r = ::waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < end) {
      ::usleep(10000);
    }
    if (r == pid_) {
      pid_ = -1;
      f.exited = WIFEXITED(status);
      f.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    f.out = out_text_;
    f.err = err_text_;
    return f;
  }

 private:
  bool WaitFor(const std::string& text, const std::string& needle, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (text.find(needle) == std::string::npos) {
      if (Clock::now() >= end || !Pump(50)) return text.find(needle) != std::string::npos;
    }
    return true;
  }
  // One bounded wait on both output pipes; false once both are closed.
  bool Pump(int timeoutMs) {
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (out_ < 0 && err_ < 0) return false;
    if (::poll(p, 2, timeoutMs) <= 0) return true;
    for (int i = 0; i < 2; ++i) {
      int& fd = i == 0 ? out_ : err_;
      std::string& text = i == 0 ? out_text_ : err_text_;
      if (fd < 0 || p[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        text.append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EAGAIN) {
        ::close(fd);
        fd = -1;
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string out_text_;
  std::string err_text_;
};

}  // namespace cli_test

#endif  // TILTWISE_TESTS_TESTPROCESS_H_
