// The command line's inputs turned into one run: the cameras from the arguments and the files,
// merged with the options into jobs, and the password.
#include <algorithm>

#include "cli/Options.h"
#include "fleet/Csv.h"
#include "fleet/ReportFile.h"

namespace cli {

std::vector<fleet::Target> CollectTargets(const CliOptions& options, const InputOpener& openInput,
                                          std::vector<std::string>* errors,
                                          std::vector<std::string>* notes) {
  std::vector<fleet::Target> targets;
  for (size_t i = 0; i < options.targets.size(); ++i) {
    fleet::Target t;
    t.origin = "argument " + std::to_string(i + 1);
    std::string error;
    if (!fleet::ParseTarget(options.targets[i], &t, &error)) {
      errors->push_back(t.origin + ": " + error);
      continue;
    }
    targets.push_back(std::move(t));
  }
  const std::string& file = options.restore ? options.report : options.input;
  if (!file.empty()) {
    const std::string name = file == "-" ? "standard input" : file;
    std::istream* in = openInput(file);
    if (in == nullptr) {
      errors->push_back(name + ": cannot be read");
    } else if (options.restore || fleet::LooksLikeJsonLines(*in)) {
      std::vector<fleet::ReportEntry> entries;
      fleet::ReadReportLines(*in, name, &entries, errors, notes);
      size_t leftAlone = 0;
      size_t unknown = 0;
      for (fleet::ReportEntry& e : entries) {
        if (options.restore) {
          const fleet::RestoreStep step = fleet::PrepareRestore(&e);
          leftAlone += step == fleet::RestoreStep::kUnchanged;
          unknown += step == fleet::RestoreStep::kBeforeUnknown;
          if (step != fleet::RestoreStep::kRestore) continue;
        } else if (options.onlyFailed) {
          if (!e.ok) {
            errors->push_back(e.target.origin +
                              ": no \"ok\" field: --only-failed needs a report, not a backup");
            break;
          }
          if (*e.ok) continue;
        }
        targets.push_back(std::move(e.target));
      }
      if (leftAlone > 0) {
        notes->push_back(std::to_string(leftAlone) + " camera(s) " + name +
                         " shows unchanged are left alone");
      }
      if (unknown > 0) {
        notes->push_back(std::to_string(unknown) + " camera(s) in " + name +
                         " were set without reading first (--force): their values before are "
                         "unknown, so they are left alone");
      }
      if (errors->empty() && targets.empty() && (options.restore || options.onlyFailed)) {
        notes->push_back(name + (options.restore ? " shows no camera changed: nothing to restore"
                                                 : " shows no camera failed: nothing to retry"));
      }
    } else if (options.onlyFailed) {
      errors->push_back(name + ": --only-failed needs a JSON lines report, not a list");
    } else {
      fleet::ReadTargetList(*in, name, &targets, errors);
    }
  }
  // A scan's list or report: only its cameras, and the devices other logins may open.
  size_t noCamera = 0;
  targets.erase(std::remove_if(targets.begin(), targets.end(),
                               [&noCamera](const fleet::Target& t) {
                                 const bool drop = t.status == "not-a-camera" ||
                                                   t.status == "no-answer" ||
                                                   t.status == "no-reply";
                                 noCamera += drop ? 1 : 0;
                                 return drop;
                               }),
                targets.end());
  if (noCamera > 0) {
    notes->push_back(std::to_string(noCamera) +
                     " device(s) the scan found to be no camera, or silent, are left alone");
  }
  if (const std::vector<std::string> extra = fleet::ExtraColumnNames(targets); !extra.empty()) {
    std::string names;
    for (const std::string& n : extra) names += (names.empty() ? "" : ", ") + n;
    notes->push_back("carried into the report as they are: " + names);
  }
  if (errors->empty()) {
    for (std::string& e : fleet::FindDuplicates(targets)) errors->push_back(std::move(e));
  }
  return targets;
}

std::vector<fleet::Job> BuildJobs(const CliOptions& options,
                                  const std::vector<fleet::Target>& targets,
                                  std::vector<std::string>* errors) {
  std::vector<fleet::Job> jobs;
  std::string optionsError;
  for (const fleet::Target& t : targets) {
    fleet::Job job;
    job.address = t.address;
    job.port = t.port;
    job.user = t.user.value_or(options.user);
    job.name = t.name;
    job.location = t.location;
    job.login = t.login.value_or(0);
    job.digest = t.digest;
    job.extra = t.extra;
    if (options.mode == fleet::Mode::kSet) {
      const fleet::Want flip = t.flip.value_or(options.flip);
      const fleet::Want mirror = t.mirror.value_or(options.mirror);
      std::string error;
      if (flip == fleet::Want::kKeep && mirror == fleet::Want::kKeep) {
        error = "nothing to change: give --flip or --mirror as on or off";
      } else if (options.force && (flip == fleet::Want::kKeep || mirror == fleet::Want::kKeep)) {
        error = "--force reads nothing first, so it needs both --flip and --mirror as on or off";
      }
      if (!error.empty()) {
        // One message for all arguments; list lines are named one by one.
        if (t.origin.rfind("argument ", 0) == 0) {
          optionsError = error;
        } else {
          errors->push_back(t.origin + ": " + error + " (or on this line)");
        }
        continue;
      }
      job.wanted = fleet::Orientation{flip == fleet::Want::kOn, mirror == fleet::Want::kOn};
      job.keepFlip = flip == fleet::Want::kKeep;
      job.keepMirror = mirror == fleet::Want::kKeep;
      if (t.sentFlip && t.sentMirror)
        job.restoreSent = fleet::Orientation{*t.sentFlip, *t.sentMirror};
    }
    jobs.push_back(std::move(job));
  }
  if (!optionsError.empty()) errors->insert(errors->begin(), optionsError);
  return jobs;
}

fleet::LoginSources LoginSourcesOf(const CliOptions& o) {
  fleet::LoginSources s;
  s.user = o.user;
  s.passwordFile = o.passwordFile;
  s.passwordStdin = o.passwordStdin;
  s.stdinTaken = o.input == "-" || o.report == "-";
  s.credentialsFile = o.credentialsFile;
  return s;
}

fleet::RunOptions ToRunOptions(const CliOptions& o, std::vector<fleet::Credential> logins,
                               bool sourcesFirst) {
  fleet::RunOptions r;
  r.mode = o.mode;
  r.force = o.force;
  r.dryRun = o.dryRun;
  r.verify = o.verify;
  r.logins = std::move(logins);
  r.sourcesFirst = sourcesFirst;
  r.jobs = o.jobs;
  r.timeoutMs = o.timeoutMs;
  r.deadlineMs = o.deadlineMs;
  r.verifyTimeoutMs = o.verifyTimeoutMs;
  r.verifySettleMs = std::min(o.verifySettleMs, o.verifyTimeoutMs);
  r.maxRestarting = o.maxRestarting;
  r.canary = o.canary;
  r.maxFailures = o.maxFailures;
  return r;
}

}  // namespace cli
