#include "cli/Options.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace cli {
namespace {

struct Parsed {
  int status = -1;
  CliOptions options;
  std::string out;
  std::string err;
};

Parsed Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "tiltwise-cli");
  Parsed p;
  std::ostringstream out;
  std::ostringstream err;
  p.status = ParseCommandLine(static_cast<int>(args.size()), args.data(), &p.options, out, err);
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(CliOptions, ParsesBothCommands) {
  Parsed q = Parse({"query", "127.0.9.1", "127.0.9.2:8080", "-j", "4", "--timeout", "500", "--json",
                    "--user", "op", "--password-file", "pw"});
  ASSERT_EQ(q.status, -1) << q.err;
  EXPECT_EQ(q.options.mode, fleet::Mode::kQuery);
  EXPECT_EQ(q.options.targets, (std::vector<std::string>{"127.0.9.1", "127.0.9.2:8080"}));
  EXPECT_EQ(q.options.jobs, 4);
  EXPECT_EQ(q.options.timeoutMs, 500);
  EXPECT_EQ(q.options.deadlineMs, 30000);
  EXPECT_TRUE(q.options.json);
  EXPECT_EQ(q.options.user, "op");
  EXPECT_EQ(q.options.passwordFile, "pw");

  Parsed s = Parse({"set", "--flip", "ON", "--mirror", "0", "--verify", "--verify-timeout", "9",
                    "--input", "-", "--deadline", "5", "--max-restarting", "3"});
  ASSERT_EQ(s.status, -1) << s.err;
  EXPECT_EQ(s.options.mode, fleet::Mode::kSet);
  EXPECT_EQ(s.options.flip, fleet::Want::kOn);
  EXPECT_EQ(s.options.mirror, fleet::Want::kOff);
  EXPECT_TRUE(s.options.verify);
  EXPECT_EQ(s.options.verifyTimeoutMs, 9000);
  EXPECT_EQ(s.options.maxRestarting, 3);
  EXPECT_EQ(s.options.input, "-");
  EXPECT_EQ(s.options.user, "admin");
  const fleet::RunOptions r = ToRunOptions(s.options, {{"admin", "pw"}}, true);
  EXPECT_EQ(r.deadlineMs, 5000);
  EXPECT_EQ(r.verifyTimeoutMs, 9000);
  EXPECT_EQ(r.logins.at(0).password, "pw");

  // Times with units; a bare number keeps its old unit.
  Parsed t = Parse({"restore", "r.jsonl", "--timeout", "2s", "--deadline", "2m", "--verify-timeout",
                    "1500ms", "--csv"});
  ASSERT_EQ(t.status, -1) << t.err;
  EXPECT_TRUE(t.options.restore);
  EXPECT_EQ(t.options.mode, fleet::Mode::kSet);
  EXPECT_EQ(t.options.report, "r.jsonl");
  EXPECT_EQ(t.options.timeoutMs, 2000);
  EXPECT_EQ(t.options.deadlineMs, 120000);
  EXPECT_EQ(t.options.verifyTimeoutMs, 1500);
  EXPECT_EQ(Parse({"set", "--flip", "keep", "--mirror", "on", "1.2.3.4"}).options.flip,
            fleet::Want::kKeep);
}

TEST(CliOptions, HelpExitsZeroWithExample) {
  for (auto args : {std::vector<const char*>{"--help"}, {"set", "--help"}, {"query", "-h"}}) {
    Parsed p = Parse(args);
    EXPECT_EQ(p.status, 0) << args[0];
    EXPECT_NE(p.out.find("Usage:"), std::string::npos) << p.out;
  }
  EXPECT_NE(Parse({"--help"}).out.find("--input site.csv"), std::string::npos);
  EXPECT_NE(Parse({"set", "--help"}).out.find("--dry-run"), std::string::npos);
  for (auto args : {std::vector<const char*>{"set", "--help"}, {"restore", "--help"}}) {
    const std::string help = Parse(args).out;
    EXPECT_EQ(help.find(" in ["), std::string::npos) << help;  // no parser clutter
    EXPECT_EQ(help.find("Excludes"), std::string::npos) << help;
  }
  Parsed v = Parse({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out.rfind("tiltwise-cli 1.", 0), 0u) << v.out;
  Parsed typo = Parse({"qeury", "1.2.3.4"});
  EXPECT_EQ(typo.status, kExitUsage);
  EXPECT_NE(typo.err.find("did you mean \"query\"?"), std::string::npos) << typo.err;
  EXPECT_EQ(Parse({"frobnicate"}).err.find("did you mean"), std::string::npos);
}

// scan on the same parser: units, its own defaults, the same errors and help.
TEST(CliOptions, ScanTakesTheCommonOptions) {
  Parsed s =
      Parse({"scan", "127.0.0.0/30", "127.0.1.5", "--timeout", "3s", "--deadline", "2m", "--port",
             "80,8080", "--credentials", "c.txt", "--all", "--max-addresses", "9"});
  ASSERT_EQ(s.status, -1) << s.err;
  EXPECT_TRUE(s.options.scan);
  EXPECT_EQ(s.options.ranges, (std::vector<std::string>{"127.0.0.0/30", "127.0.1.5"}));
  EXPECT_EQ(s.options.timeoutMs, 3000);
  EXPECT_EQ(s.options.deadlineMs, 120000);
  EXPECT_EQ(s.options.jobs, 64);
  EXPECT_EQ(s.options.ports, "80,8080");
  EXPECT_EQ(s.options.credentialsFile, "c.txt");
  EXPECT_TRUE(s.options.all);
  EXPECT_EQ(s.options.maxAddresses, 9);
  Parsed d = Parse({"scan", "127.0.0.1", "-j", "8", "--timeout", "700"});
  ASSERT_EQ(d.status, -1) << d.err;
  EXPECT_EQ(d.options.jobs, 8);
  EXPECT_EQ(d.options.timeoutMs, 700);
  EXPECT_EQ(d.options.deadlineMs, 10000);
  EXPECT_EQ(d.options.maxAddresses, 65536);
  EXPECT_FALSE(Parse({"query", "127.0.0.1"}).options.scan);

  for (const auto& args :
       std::vector<std::vector<const char*>>{{"scan"},
                                             {"scan", "127.0.0.1", "--timeout", "3h"},
                                             {"scan", "127.0.0.1", "--max-addresses", "0"},
                                             {"scan", "127.0.0.1", "--json", "--csv"}}) {
    Parsed p = Parse(args);
    EXPECT_EQ(p.status, kExitUsage) << args.back();
    EXPECT_EQ(p.err.rfind("tiltwise-cli: ", 0), 0u) << p.err;
  }
  const std::string typo = Parse({"sacn", "127.0.0.1"}).err;
  EXPECT_NE(typo.find("(query, set, restore, scan); did you mean \"scan\"?"), std::string::npos)
      << typo;
  Parsed help = Parse({"scan", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--max-addresses N"), std::string::npos) << help.out;
  EXPECT_EQ(help.out.find(" in ["), std::string::npos) << help.out;
}

TEST(CliOptions, UsageErrorsExitTwo) {
  const std::vector<std::vector<const char*>> bad = {
      {},
      {"frobnicate"},
      {"query"},  // no camera
      {"query", "--jobs", "0", "1.2.3.4"},
      {"query", "--jobs", "many", "1.2.3.4"},
      {"query", "--timeout", "0", "1.2.3.4"},
      {"query", "--deadline", "-1", "1.2.3.4"},
      {"set", "--flip", "maybe", "--mirror", "on", "1.2.3.4"},
      {"set", "--flip", "on", "--mirror", "on", "--dry-run", "--force", "1.2.3.4"},
      {"set", "--flip", "on", "--mirror", "on", "--dry-run", "--verify", "1.2.3.4"},
      {"query", "--password-stdin", "--input", "-"},
      {"query", "--password-stdin", "--password-file", "f", "1.2.3.4"},
      {"query", "--flip", "on", "1.2.3.4"},  // query has no orientation options
      {"query", "--timeout", "3h", "1.2.3.4"},
      {"query", "--timeout", "11m", "1.2.3.4"},
      {"query", "--deadline", "5 s", "1.2.3.4"},
      {"query", "--json", "--csv", "1.2.3.4"},
      {"query", "--only-failed", "1.2.3.4"},
      {"set", "--flip", "on", "--max-restarting", "2", "1.2.3.4"},  // needs --verify
      {"set", "--flip", "on", "--canary", "0", "1.2.3.4"},
      {"set", "--flip", "sideways", "1.2.3.4"},
      {"restore"},
      {"scan", "127.0.0.1", "--flip", "on"},
  };
  for (const auto& args : bad) {
    Parsed p = Parse(args);
    EXPECT_EQ(p.status, kExitUsage) << (args.empty() ? "" : args[0]) << " " << p.err;
    EXPECT_FALSE(p.err.empty());
  }
}

// The password must not be echoed back in an error, or anywhere else.
TEST(CliOptions, PasswordArgumentIsRefusedWithoutRepeatingIt) {
  for (auto args : {std::vector<const char*>{"query", "--password", "hunter2", "1.2.3.4"},
                    {"query", "--password=hunter2", "1.2.3.4"},
                    {"set", "1.2.3.4", "-p", "hunter2"}}) {
    Parsed p = Parse(args);
    EXPECT_EQ(p.status, kExitUsage);
    EXPECT_EQ(p.err.find("hunter2"), std::string::npos) << p.err;
    EXPECT_EQ(p.out.find("hunter2"), std::string::npos) << p.out;
    EXPECT_NE(p.err.find("--password-file"), std::string::npos) << p.err;
  }
}

std::vector<fleet::Target> Collect(const CliOptions& o, const std::string& text,
                                   std::vector<std::string>* errors,
                                   std::vector<std::string>* notes = nullptr) {
  std::istringstream in(text);
  std::vector<std::string> ignored;
  return CollectTargets(
      o, [&](const std::string&) -> std::istream* { return &in; }, errors,
      notes ? notes : &ignored);
}

TEST(CliOptions, ListValuesWinAndWhatNobodyNamesIsKept) {
  CliOptions o;
  o.mode = fleet::Mode::kSet;
  o.flip = fleet::Want::kOn;
  o.targets = {"127.0.9.1:81"};
  o.input = "site.csv";
  const std::string list =
      "host,user,flip,mirror\n"
      "127.0.9.2,op,off,on\n"
      "127.0.9.3,,,off\n"
      "127.0.9.4,,keep,\n";
  std::vector<std::string> errors;
  std::vector<fleet::Target> targets = Collect(o, list, &errors);
  ASSERT_TRUE(errors.empty()) << errors[0];
  ASSERT_EQ(targets.size(), 4u);
  EXPECT_EQ(targets[0].origin, "argument 1");

  std::vector<fleet::Job> jobs = BuildJobs(o, targets, &errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0],
            "site.csv:4: nothing to change: give --flip or --mirror as on or off (or "
            "on this line)");
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[0].port, 81);
  EXPECT_TRUE(jobs[0].keepMirror);
  EXPECT_FALSE(jobs[0].keepFlip);
  EXPECT_TRUE(jobs[0].wanted.flip);
  EXPECT_EQ(jobs[1].user, "op");
  EXPECT_EQ(jobs[1].wanted, (fleet::Orientation{false, true}));
  EXPECT_FALSE(jobs[1].keepFlip || jobs[1].keepMirror);
  EXPECT_EQ(jobs[2].user, "admin");
  EXPECT_EQ(jobs[2].wanted, (fleet::Orientation{true, false}));

  // --force reads nothing, so nothing can be kept; the arguments get one message.
  errors.clear();
  o.force = true;
  jobs = BuildJobs(o, targets, &errors);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0],
            "--force reads nothing first, so it needs both --flip and --mirror as on "
            "or off");
  EXPECT_EQ(jobs.size(), 2u);

  // Query ignores the orientation columns; an unreadable list and duplicates are errors.
  errors.clear();
  o = CliOptions();
  o.input = "site.csv";
  EXPECT_EQ(BuildJobs(o, Collect(o, list, &errors), &errors).size(), 3u);
  EXPECT_TRUE(errors.empty());
  CollectTargets(
      o, [](const std::string&) -> std::istream* { return nullptr; }, &errors, &errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "site.csv: cannot be read");
  errors.clear();
  o.targets = {"127.0.9.2", "127.0.9.9"};
  Collect(o, list, &errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "site.csv:2: 127.0.9.2:80 is named more than once (also argument 1)");
}

// A report of a set cut short: a backup line, cameras set, skipped, failed and not started, and
// a last line the kill cut in half.
const char kCutReport[] =
    R"({"address":"127.0.9.1","port":81,"user":"op","flip_before":true,"mirror_before":false})"
    "\n"
    R"({"address":"127.0.9.2","port":80,"user":"admin","name":"Gate","action":"set","outcome":"set","ok":true,"flip_before":false,"mirror_before":false,"flip_after":true,"mirror_after":false})"
    "\n"
    R"({"address":"127.0.9.3","port":80,"user":"admin","action":"skip","outcome":"already-set","ok":true,"flip_before":true,"mirror_before":false})"
    "\n"
    R"({"address":"127.0.9.4","port":80,"user":"admin","action":"set","outcome":"query-info-failed","ok":false,"flip_before":null,"mirror_before":null})"
    "\n\n"
    R"({"address":"127.0.9.5","port":80,"user":"admin","action":"set","outcome":"set","ok":true,"flip_before":null,"mirror_before":null})"
    "\n"
    R"({"address":"127.0.9.6","port":80,"user":"admin","action":"set","outcome":"not-applied","ok":false,"flip_b)";

TEST(CliOptions, ReportsAsInputForRetryAndRestore) {
  CliOptions o;
  o.mode = fleet::Mode::kSet;
  o.restore = true;
  o.report = "before.jsonl";
  std::vector<std::string> errors;
  std::vector<std::string> notes;
  std::vector<fleet::Target> targets = Collect(o, kCutReport, &errors, &notes);
  ASSERT_TRUE(errors.empty()) << errors[0];
  // The backup line and the set camera; the one set with --force has no values before.
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0].port, 81);
  EXPECT_EQ(targets[0].user, std::optional<std::string>("op"));
  EXPECT_EQ(targets[0].flip, std::optional<fleet::Want>(fleet::Want::kOn));
  EXPECT_EQ(targets[0].mirror, std::optional<fleet::Want>(fleet::Want::kOff));
  EXPECT_EQ(targets[1].name, "Gate");
  EXPECT_EQ(targets[1].flip, std::optional<fleet::Want>(fleet::Want::kOff));
  EXPECT_EQ(targets[1].origin, "before.jsonl:2");
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_NE(notes[0].find("before.jsonl:7: the last line is cut short"), std::string::npos);
  EXPECT_NE(notes[1].find("2 camera(s) before.jsonl shows unchanged"), std::string::npos);
  EXPECT_NE(notes[2].find("(--force)"), std::string::npos);
  const std::vector<fleet::Job> jobs = BuildJobs(o, targets, &errors);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[1].wanted, (fleet::Orientation{false, false}));
  EXPECT_FALSE(jobs[1].keepFlip || jobs[1].keepMirror);

  // Retry: the failed ones; a backup line has no outcome to go by.
  o = CliOptions();
  o.input = "result.jsonl";
  o.onlyFailed = true;
  targets = Collect(o, std::string(kCutReport).substr(std::string(kCutReport).find('\n') + 1),
                    &errors, &notes);
  ASSERT_TRUE(errors.empty()) << errors[0];
  ASSERT_EQ(targets.size(), 1u);
  EXPECT_EQ(targets[0].address.ToString(), "127.0.9.4");
  Collect(o, kCutReport, &errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("result.jsonl:1: no \"ok\" field"), std::string::npos);

  // A broken line before the last is an error, as is a list where a report is needed.
  errors.clear();
  Collect(o, "{\"address\":\"127.0.9.1\"}\n{}\n", &errors);
  EXPECT_EQ(errors.size(), 2u);
  errors.clear();
  Collect(o, "host\n127.0.9.1\n", &errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("needs a JSON lines report"), std::string::npos);
}

struct FakeSources {
  std::map<std::string, std::string> files;
  std::optional<std::string> env;
  std::optional<std::string> stdinLine;
  bool terminal = false;
  std::optional<std::string> typed;
  int prompts = 0;

  PasswordSources Get() {
    PasswordSources s;
    s.readFile = [this](const std::string& path, std::string* text) {
      auto it = files.find(path);
      if (it == files.end()) return false;
      *text = it->second;
      return true;
    };
    s.environment = [this] { return env; };
    s.readStdinLine = [this](std::string* line) {
      if (!stdinLine) return false;
      *line = *stdinLine;
      return true;
    };
    s.stdinIsTerminal = [this] { return terminal; };
    s.prompt = [this](std::string* line) {
      ++prompts;
      if (!typed) return false;
      *line = *typed;
      return true;
    };
    return s;
  }
};

TEST(CliOptions, PasswordSourcesInOrder) {
  CliOptions o;
  o.targets = {"1.2.3.4"};
  FakeSources f;
  f.files["pw"] = "from-file\r\nsecond line\n";
  f.env = "from-env";
  f.stdinLine = "from-stdin\r";
  f.typed = "typed";
  std::string password;
  std::string error;

  o.passwordFile = "pw";
  ASSERT_TRUE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(password, "from-file");
  o.passwordFile = "missing";
  EXPECT_FALSE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(error, "cannot read the password file missing");
  // An editor's byte-order mark is no part of the password; an empty one is refused.
  f.files["bom"] = "\xEF\xBB\xBFsecret\n";
  f.files["empty"] = "\r\nsecond line\n";
  o.passwordFile = "bom";
  ASSERT_TRUE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(password, "secret");
  o.passwordFile = "empty";
  EXPECT_FALSE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(error, "the password file's first line is empty");
  o.passwordFile.clear();

  o.passwordStdin = true;
  ASSERT_TRUE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(password, "from-stdin");
  f.stdinLine = "\n";
  EXPECT_FALSE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(error, "the password on standard input is empty");
  f.stdinLine = "from-stdin\r";
  f.terminal = true;  // on a terminal it is asked for without echo
  ASSERT_TRUE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(password, "typed");
  o.passwordStdin = false;
  f.terminal = false;

  ASSERT_TRUE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(password, "from-env");

  f.env = "";  // set but empty counts as unset
  EXPECT_FALSE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_NE(error.find("no password"), std::string::npos);
  f.env.reset();
  EXPECT_FALSE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(f.prompts, 1);  // no prompt without a terminal

  f.terminal = true;
  ASSERT_TRUE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(password, "typed");
  f.typed.reset();  // end of input at the prompt
  EXPECT_FALSE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  // The list comes from the terminal too: no prompt on the same input.
  o.input = "-";
  f.typed = "typed";
  const int before = f.prompts;
  EXPECT_FALSE(fleet::ObtainPassword(LoginSourcesOf(o), f.Get(), &password, &error));
  EXPECT_EQ(f.prompts, before);
}

}  // namespace
}  // namespace cli
