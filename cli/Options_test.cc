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
  EXPECT_EQ(q.options.mode, Mode::kQuery);
  EXPECT_EQ(q.options.targets, (std::vector<std::string>{"127.0.9.1", "127.0.9.2:8080"}));
  EXPECT_EQ(q.options.jobs, 4);
  EXPECT_EQ(q.options.timeoutMs, 500);
  EXPECT_EQ(q.options.deadlineSeconds, 30);
  EXPECT_TRUE(q.options.json);
  EXPECT_EQ(q.options.user, "op");
  EXPECT_EQ(q.options.passwordFile, "pw");

  Parsed s = Parse({"set", "--flip", "ON", "--mirror", "off", "--verify", "--verify-timeout", "9",
                    "--input", "-", "--deadline", "5"});
  ASSERT_EQ(s.status, -1) << s.err;
  EXPECT_EQ(s.options.mode, Mode::kSet);
  EXPECT_EQ(s.options.flip, std::optional<bool>(true));
  EXPECT_EQ(s.options.mirror, std::optional<bool>(false));
  EXPECT_TRUE(s.options.verify);
  EXPECT_EQ(s.options.verifyTimeoutSeconds, 9);
  EXPECT_EQ(s.options.input, "-");
  EXPECT_EQ(s.options.user, "admin");
  const RunOptions r = ToRunOptions(s.options, "pw");
  EXPECT_EQ(r.deadlineMs, 5000);
  EXPECT_EQ(r.verifyTimeoutMs, 9000);
  EXPECT_EQ(r.password, "pw");
}

TEST(CliOptions, HelpExitsZeroWithExample) {
  for (auto args : {std::vector<const char*>{"--help"}, {"set", "--help"}, {"query", "-h"}}) {
    Parsed p = Parse(args);
    EXPECT_EQ(p.status, 0) << args[0];
    EXPECT_NE(p.out.find("Usage:"), std::string::npos) << p.out;
  }
  EXPECT_NE(Parse({"--help"}).out.find("--input site.csv"), std::string::npos);
  EXPECT_NE(Parse({"set", "--help"}).out.find("--dry-run"), std::string::npos);
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

TEST(CliOptions, ListValuesWinAndMissingOrientationIsAnError) {
  CliOptions o;
  o.mode = Mode::kSet;
  o.user = "admin";
  o.flip = true;
  o.targets = {"127.0.9.1:81"};
  o.input = "site.csv";
  std::istringstream list(
      "host,user,flip,mirror\n"
      "127.0.9.2,op,off,on\n"
      "127.0.9.3,,,off\n"
      "127.0.9.4,,,\n");
  std::vector<std::string> errors;
  const std::vector<Target> targets = CollectTargets(
      o, [&](const std::string&) -> std::istream* { return &list; }, &errors);
  ASSERT_TRUE(errors.empty()) << errors[0];
  ASSERT_EQ(targets.size(), 4u);
  EXPECT_EQ(targets[0].origin, "argument 1");

  std::vector<Job> jobs = BuildJobs(o, targets, &errors);
  // No --mirror: the argument and line 4 lack it; lines 2 and 3 bring their own.
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0],
            "set needs both --flip on|off and --mirror on|off (no orientation is assumed)");
  EXPECT_EQ(errors[1],
            "site.csv:4: no wanted mirror value: give it on this line or with --mirror on|off");
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].host, "127.0.9.2");
  EXPECT_EQ(jobs[0].user, "op");
  EXPECT_EQ(jobs[0].wanted, (Orientation{false, true}));
  EXPECT_EQ(jobs[1].user, "admin");
  EXPECT_EQ(jobs[1].wanted, (Orientation{true, false}));

  errors.clear();
  o.mirror = true;
  list.clear();
  list.seekg(0);
  jobs = BuildJobs(o,
                   CollectTargets(
                       o, [&](const std::string&) { return &list; }, &errors),
                   &errors);
  ASSERT_TRUE(errors.empty()) << errors[0];
  ASSERT_EQ(jobs.size(), 4u);
  EXPECT_EQ(jobs[0].port, 81);
  EXPECT_EQ(jobs[3].wanted, (Orientation{true, true}));

  // Query ignores the list's orientation columns; an unreadable list and duplicates are errors.
  o.mode = Mode::kQuery;
  o.flip.reset();
  o.mirror.reset();
  list.clear();
  list.seekg(0);
  jobs = BuildJobs(o,
                   CollectTargets(
                       o, [&](const std::string&) { return &list; }, &errors),
                   &errors);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(jobs.size(), 4u);
  CollectTargets(
      o, [](const std::string&) -> std::istream* { return nullptr; }, &errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "site.csv: cannot be read");
  errors.clear();
  o.targets = {"127.0.9.2", "127.0.9.9"};
  list.clear();
  list.seekg(0);
  CollectTargets(
      o, [&](const std::string&) { return &list; }, &errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "site.csv:2: 127.0.9.2:80 is named more than once (also argument 1)");
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
  ASSERT_TRUE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(password, "from-file");
  o.passwordFile = "missing";
  EXPECT_FALSE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(error, "cannot read the password file missing");
  // An editor's byte-order mark is no part of the password; an empty one is refused.
  f.files["bom"] = "\xEF\xBB\xBFsecret\n";
  f.files["empty"] = "\r\nsecond line\n";
  o.passwordFile = "bom";
  ASSERT_TRUE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(password, "secret");
  o.passwordFile = "empty";
  EXPECT_FALSE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(error, "the password file's first line is empty");
  o.passwordFile.clear();

  o.passwordStdin = true;
  ASSERT_TRUE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(password, "from-stdin");
  f.stdinLine = "\n";
  EXPECT_FALSE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(error, "the password on standard input is empty");
  f.stdinLine = "from-stdin\r";
  f.terminal = true;  // on a terminal it is asked for without echo
  ASSERT_TRUE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(password, "typed");
  o.passwordStdin = false;
  f.terminal = false;

  ASSERT_TRUE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(password, "from-env");

  f.env = "";  // set but empty counts as unset
  EXPECT_FALSE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_NE(error.find("no password"), std::string::npos);
  f.env.reset();
  EXPECT_FALSE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(f.prompts, 1);  // no prompt without a terminal

  f.terminal = true;
  ASSERT_TRUE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(password, "typed");
  f.typed.reset();  // end of input at the prompt
  EXPECT_FALSE(ObtainPassword(o, f.Get(), &password, &error));
  // The list comes from the terminal too: no prompt on the same input.
  o.input = "-";
  f.typed = "typed";
  const int before = f.prompts;
  EXPECT_FALSE(ObtainPassword(o, f.Get(), &password, &error));
  EXPECT_EQ(f.prompts, before);
}

}  // namespace
}  // namespace cli
