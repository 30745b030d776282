// Where the site window keeps each run's backup and report: the user's data folder, one pair of
// files per run named after its start, never written over.
#ifndef TILTWISE_SITE_RUNFILES_H_
#define TILTWISE_SITE_RUNFILES_H_

#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace site {

// $XDG_DATA_HOME/tiltwise/runs, else $HOME/.local/share/tiltwise/runs; on Windows
// %LOCALAPPDATA%\Tiltwise\runs. Empty when the environment names none of them.
std::string RunsFolder();
std::string RunsFolderFrom(bool windows, const char* xdgDataHome, const char* home,
                           const char* localAppData);

struct RunFiles {
  std::string stamp;  // YYYYMMDD-HHMMSS
  std::string backupPath;
  std::string reportPath;
  std::ofstream backup;
  std::ofstream report;
};

// Makes the folder and opens a new backup and report named after `now` (local time), a later
// second when a run already holds that one. False, with `error` saying why, when either cannot
// be made; nothing is left behind then.
bool OpenRunFiles(const std::string& folder, std::time_t now, RunFiles* files, std::string* error);

// The backups in `folder`, newest first, as file names.
std::vector<std::string> ListBackups(const std::string& folder);

// The folder and a file name in it.
std::string InFolder(const std::string& folder, const std::string& name);

}  // namespace site

#endif  // TILTWISE_SITE_RUNFILES_H_
