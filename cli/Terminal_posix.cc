#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "cli/Terminal.h"

namespace cli {
namespace term {
namespace {

// The first Ctrl-C, SIGTERM or SIGHUP (a dropped ssh session) lets the cameras under way
// finish (scripts and service managers rely on that); a second of any abandons them.
extern "C" void OnStopSignal(int) {
  StopAsked();
}

constexpr size_t kMaxLine = 4096;

}  // namespace

bool IsTerminal(Stream stream) {
  const int fd = stream == Stream::kIn    ? STDIN_FILENO
                 : stream == Stream::kOut ? STDOUT_FILENO
                                          : STDERR_FILENO;
  return ::isatty(fd) == 1;
}

bool ColourOnTerminal() {
  const char* no = std::getenv("NO_COLOR");
  return IsTerminal(Stream::kOut) && (no == nullptr || *no == '\0');
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // writes of finished reports must not fail with EINTR
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
}

bool IsStandardOutput(const std::string& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) return false;
  for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat stream {};
    if (::fstat(fd, &stream) == 0 && stream.st_dev == file.st_dev && stream.st_ino == file.st_ino) {
      return true;
    }
  }
  return false;
}

bool IsSpecialFile(const std::string& path) {
  struct stat file {};
  return ::stat(path.c_str(), &file) == 0 && !S_ISREG(file.st_mode);
}

bool ReadHiddenLine(const char* prompt, std::string* line) {
  if (!::isatty(STDIN_FILENO)) return false;
  termios saved{};
  if (::tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  // Echo goes off before the prompt shows, so nothing typed after it is ever echoed.
  if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) return false;
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  line->clear();
  bool complete = false;
  // Waits in short slices so Ctrl-C (which restarts a plain read) still ends the prompt.
  while (!StopFlag().load()) {
    pollfd p{};
    p.fd = STDIN_FILENO;
    p.events = POLLIN;
    const int r = ::poll(&p, 1, 200);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    char c = 0;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (c == '\n' || c == '\r') {
      complete = true;
      break;
    }
    if (line->size() < kMaxLine) line->push_back(c);
  }
  ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::fputs("\n", stderr);
  if (!complete) line->clear();
  return complete;
}

}  // namespace term
}  // namespace cli
