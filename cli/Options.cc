#include "cli/Options.h"

#include <CLI/CLI.hpp>
#include <cstring>
#include <sstream>
#include <string_view>

#include "cli/Csv.h"

namespace cli {
namespace {

const char kDescription[] =
    "Reads and sets the Flip and Mirror orientation of network cameras, one or many at once.";

const char kFooter[] =
    "Password: --password-file FILE, --password-stdin, the environment variable\n"
    "TILTWISE_PASSWORD, or a prompt when standard input is a terminal; never as an argument.\n"
    "\n"
    "Each failure names its cause (refused, timed-out, deadline, bad-address, unauthorized,\n"
    "bad-status, values-missing, no-succeed, chip-type): first in the table, \"cause\" in JSON.\n"
    "\n"
    "Exit status: 0 every camera succeeded, 1 a camera failed, 2 usage error,\n"
    "130 stopped by Ctrl-C or SIGTERM (cameras under way finish; the rest are not started).\n"
    "\n"
    "Examples:\n"
    "  tiltwise-cli query --password-file pw.txt 192.168.1.20 192.168.1.21:8080\n"
    "  tiltwise-cli set --flip on --mirror off --password-file pw.txt 192.168.1.20\n"
    "\n"
    "A fleet from a list, 64 at once, JSON lines for a script:\n"
    "  cat > site.csv <<EOF\n"
    "  # host,port,user,flip,mirror (empty cells take the options' values)\n"
    "  host,port,user,flip,mirror\n"
    "  192.168.1.20,80,,on,off\n"
    "  192.168.1.21,8080,installer,,\n"
    "  EOF\n"
    "  TILTWISE_PASSWORD=... tiltwise-cli set --flip off --mirror off --input site.csv \\\n"
    "      --jobs 64 --verify --json > result.jsonl";

const char kSetFooter[] =
    "set first reads each camera and leaves alone the ones already as wanted (the camera\n"
    "restarts after every set). --dry-run only shows current against wanted; --force sends\n"
    "the set without reading first; --verify waits for each restart and reads the values back.\n"
    "Per-camera flip/mirror values in the --input list win over --flip/--mirror.\n"
    "A camera whose Flip and Mirror cannot both be read (outcome not-read: the reply lacks a\n"
    "value or was cut off by the deadline) is a failure and gets no set command.";

void AddCommon(CLI::App* sub, CliOptions* o) {
  sub->add_option("targets", o->targets, "Cameras as ADDRESS[:PORT] (four decimal parts, no leading zeros; port 80)")
      ->type_name("TARGET");
  sub->add_option("-i,--input", o->input,
                  "CSV list of cameras (\"-\" for standard input): header with host and "
                  "optionally port, user, flip, mirror; '#' comments")
      ->type_name("FILE");
  sub->add_option("-u,--user", o->user, "User name for cameras without their own")
      ->capture_default_str();
  sub->add_option("--password-file", o->passwordFile,
                  "Read the password from the file's first line")
      ->type_name("FILE");
  sub->add_flag("--password-stdin", o->passwordStdin,
                "Read the password from the first line of standard input");
  // Each camera under way holds one socket; 256 stays well inside the usual 1024 files.
  sub->add_option("-j,--jobs", o->jobs, "Cameras worked on at once")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  sub->add_option("--timeout", o->timeoutMs, "Limit of each wait for a camera, in milliseconds")
      ->type_name("MS")
      ->check(CLI::Range(1, 600000))
      ->capture_default_str();
  sub->add_option("--deadline", o->deadlineSeconds,
                  "Hard limit for one camera's requests, in seconds")
      ->type_name("SECONDS")
      ->check(CLI::Range(1, 86400))
      ->capture_default_str();
  sub->add_flag("--json", o->json, "One JSON object per camera and line, as each finishes");
}

// Every spelling that would carry a password in an argument, looked for before the parser,
// whose messages repeat what they could not take: --password[=X], -p[X], -np (short options
// run together), and a value given to the --password-stdin flag.
bool MentionsPasswordArgument(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--") break;  // targets follow
    if (a == "--password" || a.rfind("--password=", 0) == 0 ||
        a.rfind("--password-stdin=", 0) == 0) {
      return true;
    }
    if (a.size() < 2 || a[0] != '-' || a[1] == '-') continue;
    for (size_t k = 1; k < a.size(); ++k) {
      if (a[k] == 'p') return true;
      // The rest of "-uNAME", "-iFILE", "-j8" is that option's value, not more options.
      if (a[k] == 'u' || a[k] == 'i' || a[k] == 'j') break;
    }
  }
  return false;
}

}  // namespace

int ParseCommandLine(int argc, const char* const* argv, CliOptions* o, std::ostream& out,
                     std::ostream& err) {
  // Before the parser sees it, so no message can repeat what follows the option.
  if (MentionsPasswordArgument(argc, argv)) {
    err << "tiltwise-cli: a password is never taken as an argument (others could read it in "
           "the process list); use --password-file FILE, --password-stdin or TILTWISE_PASSWORD\n";
    return kExitUsage;
  }

  CLI::App app(kDescription, "tiltwise-cli");
  app.footer(kFooter);
  app.require_subcommand(1);

  CLI::App* query = app.add_subcommand("query", "Read and print each camera's Flip and Mirror");
  AddCommon(query, o);
  query->footer("See tiltwise-cli --help for the password, exit statuses and a fleet example.");

  CLI::App* set = app.add_subcommand("set", "Write Flip and Mirror; each changed camera restarts");
  AddCommon(set, o);
  std::string flip;
  std::string mirror;
  set->add_option("--flip", flip, "Wanted Flip (required unless every listed camera has one)")
      ->check(CLI::IsMember({"on", "off"}, CLI::ignore_case))
      ->type_name("on|off");
  set->add_option("--mirror", mirror, "Wanted Mirror (required unless every listed camera has one)")
      ->check(CLI::IsMember({"on", "off"}, CLI::ignore_case))
      ->type_name("on|off");
  CLI::Option* force = set->add_flag("--force", o->force, "Send the set without reading first");
  CLI::Option* dryRun =
      set->add_flag("-n,--dry-run", o->dryRun, "Show current against wanted; send no set");
  CLI::Option* verify = set->add_flag(
      "--verify", o->verify, "Wait for each restarted camera and check the values it reports");
  set->add_option("--verify-timeout", o->verifyTimeoutSeconds,
                  "Longest wait for a camera to come back, in seconds")
      ->type_name("SECONDS")
      ->check(CLI::Range(1, 3600))
      ->capture_default_str();
  dryRun->excludes(force);
  dryRun->excludes(verify);
  set->footer(std::string(kSetFooter) +
              "\n\nSee tiltwise-cli --help for the password, exit statuses and a fleet example.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e, out, err);
    return status == 0 ? kExitOk : kExitUsage;
  }

  o->mode = set->parsed() ? Mode::kSet : Mode::kQuery;
  auto toBool = [](const std::string& v, std::optional<bool>* slot) {
    bool on = false;
    if (!v.empty() && ParseOnOff(v, &on)) *slot = on;
  };
  toBool(flip, &o->flip);
  toBool(mirror, &o->mirror);

  auto usage = [&err](const std::string& text) {
    err << "tiltwise-cli: " << text << "\nRun with --help for more information.\n";
    return kExitUsage;
  };
  if (o->targets.empty() && o->input.empty()) {
    return usage("no camera given: name ADDRESS[:PORT] targets or --input FILE");
  }
  if (o->passwordStdin && o->input == "-") {
    return usage("--password-stdin and --input - cannot both read standard input");
  }
  if (o->passwordStdin && !o->passwordFile.empty()) {
    return usage("give either --password-file or --password-stdin, not both");
  }
  return -1;
}

std::vector<Target> CollectTargets(const CliOptions& options, const InputOpener& openInput,
                                   std::vector<std::string>* errors) {
  std::vector<Target> targets;
  for (size_t i = 0; i < options.targets.size(); ++i) {
    Target t;
    t.origin = "argument " + std::to_string(i + 1);
    std::string error;
    if (!ParseTarget(options.targets[i], &t, &error)) {
      errors->push_back(t.origin + ": " + error);
      continue;
    }
    targets.push_back(std::move(t));
  }
  if (!options.input.empty()) {
    const std::string name = options.input == "-" ? "standard input" : options.input;
    std::istream* in = openInput(options.input);
    if (in == nullptr) {
      errors->push_back(name + ": cannot be read");
    } else {
      ReadTargetList(*in, name, &targets, errors);
    }
  }
  if (errors->empty()) {
    for (std::string& e : FindDuplicates(targets)) errors->push_back(std::move(e));
  }
  return targets;
}

std::vector<Job> BuildJobs(const CliOptions& options, const std::vector<Target>& targets,
                           std::vector<std::string>* errors) {
  std::vector<Job> jobs;
  bool optionsMissing = false;
  for (const Target& t : targets) {
    Job job;
    job.host = t.host;
    job.port = t.port;
    job.user = t.user.value_or(options.user);
    if (options.mode == Mode::kSet) {
      const std::optional<bool> flip = t.flip ? t.flip : options.flip;
      const std::optional<bool> mirror = t.mirror ? t.mirror : options.mirror;
      if (!flip || !mirror) {
        // One message for all arguments; list lines are named one by one.
        if (t.origin.rfind("argument ", 0) == 0) {
          optionsMissing = true;
        } else {
          errors->push_back(t.origin + ": no wanted " + (!flip ? "flip" : "mirror") +
                            " value: give it on this line or with --" +
                            (!flip ? "flip" : "mirror") + " on|off");
        }
        continue;
      }
      job.wanted = Orientation{*flip, *mirror};
    }
    jobs.push_back(std::move(job));
  }
  if (optionsMissing) {
    errors->insert(errors->begin(),
                   std::string("set needs both --flip on|off and --mirror on|off") +
                       " (no orientation is assumed)");
  }
  return jobs;
}

bool ObtainPassword(const CliOptions& options, const PasswordSources& sources,
                    std::string* password, std::string* error) {
  // An empty password would be sent as one to every camera and count as a failed login.
  auto firstLine = [error](std::string text, const char* where) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // editors' UTF-8 mark
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.erase(end);
    if (text.empty()) *error = std::string("the password ") + where + " is empty";
    return text;
  };
  if (!options.passwordFile.empty()) {
    std::string text;
    if (!sources.readFile(options.passwordFile, &text)) {
      *error = "cannot read the password file " + options.passwordFile;
      return false;
    }
    *password = firstLine(std::move(text), "file's first line");
    return !password->empty();
  }
  if (options.passwordStdin) {
    std::string line;
    const bool ok =
        sources.stdinIsTerminal() ? sources.prompt(&line) : sources.readStdinLine(&line);
    if (!ok) {
      *error = "no password on standard input";
      return false;
    }
    *password = firstLine(std::move(line), "on standard input");
    return !password->empty();
  }
  if (std::optional<std::string> env = sources.environment(); env && !env->empty()) {
    *password = std::move(*env);
    return true;
  }
  if (sources.stdinIsTerminal() && options.input != "-") {
    std::string line;
    if (!sources.prompt(&line)) {
      *error = "no password entered";
      return false;
    }
    *password = std::move(line);
    return true;
  }
  *error =
      "no password: use --password-file FILE, --password-stdin or the environment variable "
      "TILTWISE_PASSWORD (a prompt is shown only when standard input is a terminal)";
  return false;
}

RunOptions ToRunOptions(const CliOptions& o, std::string password) {
  RunOptions r;
  r.mode = o.mode;
  r.force = o.force;
  r.dryRun = o.dryRun;
  r.verify = o.verify;
  r.password = std::move(password);
  r.jobs = o.jobs;
  r.timeoutMs = o.timeoutMs;
  r.deadlineMs = o.deadlineSeconds * 1000;
  r.verifyTimeoutMs = o.verifyTimeoutSeconds * 1000;
  return r;
}

}  // namespace cli
