// The command line of tiltwise-camsim, kept apart from main() so it can be tested in-process.
#ifndef TILTWISE_CAMSIM_COMMANDLINE_H_
#define TILTWISE_CAMSIM_COMMANDLINE_H_

#include <string>
#include <vector>

#include "camsim/CameraSim.h"

namespace camsim {

struct CommandLine {
  // The options checked and laid out: print_requests is on unless --quiet; log_capacity is 0.
  SimulatorSetup setup;
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name; "--opt value" and "--opt=value" both work.
// Returns false with a one-line `error` on bad usage (the caller exits with status 2).
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error);

// The --help text.
const char* UsageText();

// "listening on 127.0.0.1:8080", "listening on 127.0.0.1:9000-9009 (10 cameras)", or with one
// camera per address "listening on 127.0.0.1-127.0.0.40:8080 (40 cameras)".
std::string ListeningLine(const CameraSimulator& sim);

}  // namespace camsim

#endif  // TILTWISE_CAMSIM_COMMANDLINE_H_
