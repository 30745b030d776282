// The few things the tool needs from the console and the process, one implementation per
// platform (Terminal_posix.cc, Terminal_win32.cc), picked by the build.
#ifndef TILTWISE_CLI_TERMINAL_H_
#define TILTWISE_CLI_TERMINAL_H_

#include <atomic>
#include <string>

namespace cli {
namespace term {

enum class Stream { kIn, kOut, kErr };
bool IsTerminal(Stream stream);
// Whether standard output, a terminal, may get colour: not when NO_COLOR is set to anything but
// an empty text, and on Windows only on a console that takes escape sequences.
bool ColourOnTerminal();

// Ctrl-C and termination requests (SIGINT/SIGTERM/SIGHUP, or the console's control events) only
// set the stop flags: the first request the stop flag, a second one both. A closed output pipe
// becomes a write error instead of killing the process. Until this is called, such a request
// ends the process at once (nothing has been sent before).
void InstallStopHandlers();
// The only global state of the tool: set by the handlers above or by RequestStop().
const std::atomic<bool>& StopFlag();
// Stop at once: exchanges under way are abandoned.
const std::atomic<bool>& HardStopFlag();
void RequestStop();
// A stop request as the handlers see it: the first sets the stop flag, a second both. Lock-free.
void StopAsked();

// Whether `path` names an existing file that is also standard output or standard error.
bool IsStandardOutput(const std::string& path);
// Whether `path` names something that is there but no regular file (a FIFO, a device, a
// directory): writing a file there could block or go nowhere.
bool IsSpecialFile(const std::string& path);

// Shows `prompt` on standard error and reads one line from the terminal on standard input
// without echoing it. False when standard input is no terminal, at end of input, or when a
// stop is requested while waiting.
bool ReadHiddenLine(const char* prompt, std::string* line);

}  // namespace term
}  // namespace cli

#endif  // TILTWISE_CLI_TERMINAL_H_
