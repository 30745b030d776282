// tiltwise-cli scan: the command line, the credentials file and the three ways to show what
// was found (a table, JSON lines, or the site's camera list as CSV).
#ifndef TILTWISE_CLI_SCANCOMMAND_H_
#define TILTWISE_CLI_SCANCOMMAND_H_

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "fleet/Scan.h"

namespace cli {

// The header of the list `--csv` writes and `--input` reads back.
extern const char kScanCsvHeader[];
// What scan --help shows below the options.
extern const char kScanFooter[];

std::string ScanJsonLine(const fleet::ScanResult& result);
// The header and one row per camera and auth-failed device.
std::string ScanCsv(const std::vector<fleet::ScanResult>& results);
std::string ScanTable(const std::vector<fleet::ScanResult>& results);
// "512 addresses: 40 cameras, 1 auth-failed, 2 not-a-camera, 1 no-reply, 468 no-answer, 3.1 s".
std::string ScanSummary(const fleet::ScanProgress& progress, size_t addresses, size_t ports);

// The whole command, after ParseCommandLine. Returns the exit status; after `hardStop` it
// writes what was found and ends the process with 130 itself, as probes may still run.
// `outputOnTerminal`: the table is followed by the devices not reached, again.
int RunScanCommand(const CliOptions& options, const PasswordSources& passwords,
                   const std::atomic<bool>& stop, const std::atomic<bool>* hardStop,
                   std::ostream& out, std::ostream& err, bool progressOnTerminal,
                   bool outputOnTerminal = false);

}  // namespace cli

#endif  // TILTWISE_CLI_SCANCOMMAND_H_
