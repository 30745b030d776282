// tiltwise-camsim: network cameras' web servers on loopback for tests, demos and benchmarks.
#include <signal.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "camsim/CameraSim.h"
#include "camsim/CommandLine.h"
#include "res/version.h"

namespace {

camsim::CameraSimulator* g_simulator = nullptr;

void OnStopSignal(int) {
  if (g_simulator) g_simulator->RequestStop();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  camsim::CommandLine command_line;
  std::string error;
  if (!camsim::ParseCommandLine(args, &command_line, &error)) {
    std::fprintf(stderr,
                 "tiltwise-camsim: %s\nTry 'tiltwise-camsim --help' for more information.\n",
                 error.c_str());
    return 2;
  }
  if (command_line.help) {
    std::fputs(camsim::UsageText(), stdout);
    return 0;
  }
  if (command_line.version) {
    std::printf("tiltwise-camsim %s\n", TILTWISE_VERSION_STR);
    return 0;
  }

  // Sockets are written with MSG_NOSIGNAL; this keeps a closed log pipe from killing us too.
  signal(SIGPIPE, SIG_IGN);

  camsim::CameraSimulator simulator(std::move(command_line.setup));
  g_simulator = &simulator;
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  if (!simulator.Listen(&error)) {
    std::fprintf(stderr, "tiltwise-camsim: %s\n", error.c_str());
    g_simulator = nullptr;
    return 1;
  }
  std::printf("%s\n", camsim::ListeningLine(simulator).c_str());
  std::fflush(stdout);
  simulator.Serve();
  g_simulator = nullptr;
  return 0;
}
