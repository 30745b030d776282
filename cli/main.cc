// tiltwise-cli: the Query and Set procedures for scripts and sites with many cameras.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

#include "base/Clock.h"
#include "cli/Options.h"
#include "cli/Report.h"
#include "cli/ScanCommand.h"
#include "cli/Terminal.h"
#include "fleet/Csv.h"
#include "fleet/ReportFile.h"
#include "fleet/Runner.h"

namespace {

int UsageErrors(const std::vector<std::string>& errors) {
  return cli::UsageErrors(std::cerr, errors, "nothing was sent to any camera");
}

cli::PasswordSources SystemPasswordSources() {
  cli::PasswordSources s;
  s.readFile = [](const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // A password is one short line; a file without line ends (a device) must not be read on.
    return fleet::GetBoundedLine(in, text) == fleet::LineRead::kLine || (in.eof() && !in.bad());
  };
  s.environment = []() -> std::optional<std::string> {
    const char* v = std::getenv("TILTWISE_PASSWORD");
    if (v == nullptr) return std::nullopt;
    return std::string(v);
  };
  s.readStdinLine = [](std::string* line) {
    return fleet::GetBoundedLine(std::cin, line) == fleet::LineRead::kLine;
  };
  s.stdinIsTerminal = [] { return cli::term::IsTerminal(cli::term::Stream::kIn); };
  s.prompt = [](std::string* line) {
    // Ctrl-C must end the prompt with the echo back on, not kill the process.
    cli::term::InstallStopHandlers();
    return cli::term::ReadHiddenLine("Password: ", line);
  };
  return s;
}

// The run's progress to the terminal, its cameras' values before into the backup file; the
// signals and a report nobody can read any more stop it.
class RunWatch : public fleet::RunObserver {
 public:
  RunWatch(cli::Reporter& reporter, std::ostream* backup) : reporter_(reporter), backup_(backup) {}

  fleet::Run* run = nullptr;
  bool backupFailed = false;

  bool Read(const fleet::Job& job, const fleet::Orientation& before,
            const fleet::Orientation& wanted) override {
    if (backup_ == nullptr || fleet::WriteBackupLine(*backup_, job, before, wanted)) return true;
    backupFailed = true;
    return false;
  }
  void Finished(const fleet::CameraReport& report) override { reporter_.OnReport(report); }
  void Tick(const fleet::Progress& progress) override {
    // Nobody can read the outcomes any more: start no further camera.
    if (cli::term::StopFlag().load() || reporter_.OutputFailed()) run->Stop();
    if (cli::term::HardStopFlag().load()) run->HardStop();
    // The flags are looked at on every tick; the progress line is drawn five times a second.
    if (progress.elapsedMs >= drawnAtMs_ + 200 || progress.stopping) {
      drawnAtMs_ = progress.elapsedMs;
      reporter_.OnTick(progress);
    }
  }

 private:
  cli::Reporter& reporter_;
  std::ostream* backup_;
  std::int64_t drawnAtMs_ = 0;
};

int Run(int argc, char** argv) {
  // Stop handlers come once the input files are read: until then a signal ends any read
  // (a FIFO, a device) at once, and nothing was sent.
  cli::CliOptions options;
  const int parsed = cli::ParseCommandLine(argc, argv, &options, std::cout, std::cerr);
  if (parsed >= 0) return parsed;

  if (options.scan) {
    if (options.verbose) cli::TraceExchanges(std::cerr);
    return cli::RunScanCommand(
        options, SystemPasswordSources(), cli::term::StopFlag(), &cli::term::HardStopFlag(),
        std::cout, std::cerr,
        cli::term::IsTerminal(cli::term::Stream::kErr) && !options.verbose && !options.quiet,
        cli::term::IsTerminal(cli::term::Stream::kOut));
  }

  std::unique_ptr<std::ifstream> file;
  std::vector<std::string> errors;
  std::vector<std::string> notes;
  const std::vector<fleet::Target> targets = cli::CollectTargets(
      options,
      [&file](const std::string& name) -> std::istream* {
        if (name == "-") return &std::cin;
        file = std::make_unique<std::ifstream>(name, std::ios::binary);
        return *file ? file.get() : nullptr;
      },
      &errors, &notes);
  if (options.quiet) notes.clear();
  for (const std::string& note : notes) std::cerr << "tiltwise-cli: " << note << "\n";
  if (!errors.empty()) return UsageErrors(errors);
  const std::vector<fleet::Job> jobs = cli::BuildJobs(options, targets, &errors);
  if (!errors.empty()) return UsageErrors(errors);
  // Opened before any camera is touched: a set without its backup is not started.
  std::ofstream backup;
  if (!options.backup.empty()) {
    // The report written into the backup would leave neither readable.
    if (cli::term::IsStandardOutput(options.backup)) {
      errors.push_back("the backup file " + options.backup +
                       " is also where the report or the messages go: give another name");
      return UsageErrors(errors);
    }
    // A FIFO would block the run before its first camera; a device would keep nothing.
    if (cli::term::IsSpecialFile(options.backup)) {
      errors.push_back("the backup file " + options.backup + " is no regular file");
      return UsageErrors(errors);
    }
    // Never over an earlier backup: it may hold the only record of a site's old values.
    if (std::ifstream(options.backup, std::ios::binary).peek() != EOF) {
      errors.push_back("the backup file " + options.backup +
                       " already holds data: give a new name");
      return UsageErrors(errors);
    }
    backup.open(options.backup, std::ios::binary | std::ios::trunc);
    if (!backup) {
      errors.push_back("the backup file " + options.backup + " cannot be written");
      return UsageErrors(errors);
    }
  }

  std::vector<fleet::Credential> logins;
  bool sourcesFirst = true;
  if (!fleet::GatherLogins(cli::LoginSourcesOf(options), SystemPasswordSources(), &logins,
                           &sourcesFirst, &errors)) {
    if (cli::term::StopFlag().load()) return cli::kExitInterrupted;
    return UsageErrors(errors);
  }
  fleet::CheckListedLogins(targets, logins, sourcesFirst, &errors);
  if (!errors.empty()) return UsageErrors(errors);
  if (cli::term::StopFlag().load()) return cli::kExitInterrupted;
  cli::term::InstallStopHandlers();

  if (!fleet::StartNetwork()) {
    std::cerr << "tiltwise-cli: the socket library cannot be started\n";
    return cli::kExitFailed;
  }
  // The progress line would tear the verbose lines apart.
  const bool progress =
      cli::term::IsTerminal(cli::term::Stream::kErr) && !options.verbose && !options.quiet;
  if (options.verbose) cli::TraceExchanges(std::cerr);
  const cli::ReportFormat format = options.json  ? cli::ReportFormat::kJson
                                   : options.csv ? cli::ReportFormat::kCsv
                                                 : cli::ReportFormat::kTable;
  cli::Reporter reporter(std::cout, std::cerr, format, progress);
  reporter.SetExtraColumns(fleet::ExtraColumnNames(targets));
  reporter.SetQuiet(options.quiet);
  if (cli::term::IsTerminal(cli::term::Stream::kOut)) {
    reporter.SetTerminalOutput(cli::term::ColourOnTerminal());
  }
  const std::int64_t start = tw::NowMs();
  RunWatch watch(reporter, backup.is_open() ? &backup : nullptr);
  fleet::RunOptions runOptions = cli::ToRunOptions(options, std::move(logins), sourcesFirst);
  runOptions.tickMs = 50;  // a stop asked for by a signal reaches the run within a tick
  fleet::Run run(jobs, runOptions, &watch);
  watch.run = &run;
  const std::vector<fleet::CameraReport> reports = run.Execute();
  reporter.Finish(reports, tw::NowMs() - start);
  if (run.HardStopped()) {
    std::cerr << "tiltwise-cli: stopped at once: the cameras under way are reported interrupted\n";
    // Exchanges abandoned under way may still run; end without waiting for them.
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(cli::kExitInterrupted);
  }
  fleet::EndNetwork();

  if (reporter.OutputFailed()) {
    std::cerr << "tiltwise-cli: writing the report failed\n";
    return cli::kExitFailed;
  }
  if (watch.backupFailed) {
    std::cerr << "tiltwise-cli: writing the backup file " << options.backup
              << " failed: the cameras after it were not changed\n";
    return cli::kExitFailed;
  }
  if (cli::term::StopFlag().load()) return cli::kExitInterrupted;
  for (const fleet::CameraReport& r : reports) {
    if (!r.ok) return cli::kExitFailed;
  }
  return cli::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "tiltwise-cli: " << e.what() << "\n";
    return cli::kExitFailed;
  }
}
