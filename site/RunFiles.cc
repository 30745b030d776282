#include "site/RunFiles.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace site {
namespace {

namespace fs = std::filesystem;

constexpr char kBackupEnd[] = "-backup.jsonl";
constexpr char kReportEnd[] = "-report.jsonl";

bool Given(const char* value) {
  return value != nullptr && *value != '\0';
}

std::string Stamp(std::time_t t) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::u8path(path), ec) || ec;  // what cannot be looked at is not ours
}

}  // namespace

std::string RunsFolderFrom(bool windows, const char* xdgDataHome, const char* home,
                           const char* localAppData) {
  if (windows) return Given(localAppData) ? std::string(localAppData) + "\\Tiltwise\\runs" : "";
  // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
  if (Given(xdgDataHome) && xdgDataHome[0] == '/')
    return std::string(xdgDataHome) + "/tiltwise/runs";
  return Given(home) ? std::string(home) + "/.local/share/tiltwise/runs" : "";
}

std::string RunsFolder() {
#ifdef _WIN32
  return RunsFolderFrom(true, nullptr, nullptr, std::getenv("LOCALAPPDATA"));
#else
  return RunsFolderFrom(false, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"), nullptr);
#endif
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return (fs::u8path(folder) / fs::u8path(name)).u8string();
}

bool OpenRunFiles(const std::string& folder, std::time_t now, RunFiles* files, std::string* error) {
  if (folder.empty()) {
    *error = "no folder for the runs' backups: neither HOME nor XDG_DATA_HOME is set";
    return false;
  }
  std::error_code ec;
  fs::create_directories(fs::u8path(folder), ec);
  if (ec) {
    *error = "the folder " + folder + " cannot be made: " + ec.message();
    return false;
  }
  for (int later = 0; later < 3600; ++later) {
    files->stamp = Stamp(now + later);
    files->backupPath = InFolder(folder, files->stamp + kBackupEnd);
    files->reportPath = InFolder(folder, files->stamp + kReportEnd);
    if (!Exists(files->backupPath) && !Exists(files->reportPath)) break;
    files->stamp.clear();
  }
  if (files->stamp.empty()) {
    *error = "no free name for a run in " + folder;
    return false;
  }
  files->backup.open(fs::u8path(files->backupPath), std::ios::binary | std::ios::trunc);
  if (files->backup) {
    files->report.open(fs::u8path(files->reportPath), std::ios::binary | std::ios::trunc);
  }
  if (!files->backup || !files->report) {
    *error = "the folder " + folder + " cannot be written";
    files->backup.close();
    files->report.close();
    fs::remove(fs::u8path(files->backupPath), ec);
    fs::remove(fs::u8path(files->reportPath), ec);
    return false;
  }
  return true;
}

std::vector<std::string> ListBackups(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  const size_t endLength = sizeof kBackupEnd - 1;
  for (fs::directory_iterator it(fs::u8path(folder), ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().u8string();
    if (name.size() > endLength &&
        name.compare(name.size() - endLength, endLength, kBackupEnd) == 0)
      names.push_back(std::move(name));
  }
  std::sort(names.rbegin(), names.rend());
  return names;
}

}  // namespace site
