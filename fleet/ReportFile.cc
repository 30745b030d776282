#include "fleet/ReportFile.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "fleet/Csv.h"

namespace fleet {
namespace {

using json = nlohmann::ordered_json;  // carried columns keep their order

bool OptionalText(const json& j, const char* key, std::string* out, std::string* error) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return true;
  if (!it->is_string()) {
    *error = std::string("\"") + key + "\" is not text";
    return false;
  }
  *out = it->get<std::string>();
  return true;
}

bool OptionalBool(const json& j, const char* key, std::optional<bool>* out, std::string* error) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return true;
  if (!it->is_boolean()) {
    *error = std::string("\"") + key + "\" is not true, false or null";
    return false;
  }
  *out = it->get<bool>();
  return true;
}

// true, false, or a word ParseWant takes ("keep" where a set kept the camera's value).
bool OptionalWant(const json& j, const char* key, std::optional<Want>* out, std::string* error) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return true;
  Want want = Want::kKeep;
  if (it->is_boolean()) {
    want = it->get<bool>() ? Want::kOn : Want::kOff;
  } else if (!it->is_string() || !ParseWant(it->get<std::string>(), &want)) {
    *error = std::string("\"") + key + "\" is not true, false or \"keep\"";
    return false;
  }
  *out = want;
  return true;
}

bool OptionalLogin(const json& j, Target* t, std::string* error) {
  auto login = j.find("login");
  if (login != j.end() && !login->is_null()) {
    if (!login->is_number_integer() || login->get<long long>() < 1 ||
        login->get<long long>() > 999999) {
      *error = "\"login\" is not a login number";
      return false;
    }
    t->login = login->get<int>();
  }
  std::string auth;
  if (!OptionalText(j, "auth", &auth, error)) return false;
  t->digest = auth == "digest";
  return true;
}

bool ReadEntry(const json& j, ReportEntry* e, std::string* error) {
  if (!j.is_object()) {
    *error = "not a JSON object";
    return false;
  }
  std::string address;
  if (!OptionalText(j, "address", &address, error)) return false;
  if (!ParseCameraAddress(address, &e->target.address, "no dotted-quad \"address\"",
                          "\"address\": ", error)) {
    return false;
  }
  auto port = j.find("port");
  if (port == j.end() || !port->is_number_integer() || port->get<long long>() < 1 ||
      port->get<long long>() > 65535) {
    *error = "no \"port\" 1-65535";
    return false;
  }
  e->target.port = port->get<int>();
  std::string user;
  if (!OptionalText(j, "user", &user, error)) return false;
  if (!user.empty()) e->target.user = user;
  if (!OptionalText(j, "name", &e->target.name, error) ||
      !OptionalText(j, "location", &e->target.location, error) ||
      !OptionalText(j, "action", &e->action, error) ||
      !OptionalText(j, "outcome", &e->outcome, error) || !OptionalBool(j, "ok", &e->ok, error)) {
    return false;
  }
  // A scan's JSON lines name what each device is.
  if (!OptionalText(j, "request", &e->request, error) ||
      !OptionalText(j, "status", &e->target.status, error)) {
    return false;
  }
  std::optional<bool> flip;
  std::optional<bool> mirror;
  if (!OptionalBool(j, "flip_before", &flip, error) ||
      !OptionalBool(j, "mirror_before", &mirror, error)) {
    return false;
  }
  if (flip && mirror) e->before = Orientation{*flip, *mirror};
  flip.reset();
  mirror.reset();
  if (!OptionalWant(j, "flip_wanted", &e->target.flip, error) ||
      !OptionalWant(j, "mirror_wanted", &e->target.mirror, error) ||
      !OptionalLogin(j, &e->target, error)) {
    return false;
  }
  // What the set sent: a kept value is the one it read.
  const auto sent = [e](std::optional<Want> want, bool Orientation::*field) -> std::optional<bool> {
    if (want == Want::kKeep && e->before) return (*e->before).*field;
    if (!want || want == Want::kKeep) return std::nullopt;
    return want == Want::kOn;
  };
  flip = sent(e->target.flip, &Orientation::flip);
  mirror = sent(e->target.mirror, &Orientation::mirror);
  if (flip && mirror) e->wanted = Orientation{*flip, *mirror};
  if (auto index = j.find("index"); index != j.end() && index->is_number_unsigned()) {
    e->target.listIndex = index->get<size_t>();
  }
  // The list's own columns, which the run carried: carried on.
  for (const auto& [key, value] : j.items()) {
    if (key.empty() || IsKnownColumn(key)) continue;  // a nameless value is no column
    e->target.extra.emplace_back(key, value.is_string() ? value.get<std::string>()
                                      : value.is_null() ? std::string()
                                                        : value.dump());
  }
  return true;
}

nlohmann::ordered_json OptionalBool(const std::optional<Orientation>& o, bool Orientation::*field) {
  if (!o) return nullptr;
  return (*o).*field;
}

// What was asked for: "keep" where the camera's value was to stay, so a report alone can run
// the camera again; what the set sent where nothing was asked for (a report of before).
nlohmann::ordered_json Wanted(const std::optional<Want>& want,
                              const std::optional<Orientation>& sent, bool Orientation::*field) {
  if (!want) return OptionalBool(sent, field);
  if (*want == Want::kKeep) return "keep";
  return *want == Want::kOn;
}

// The report's fields in their order; the JSON line and the CSV row both come from here.
nlohmann::ordered_json Fields(const CameraReport& r) {
  nlohmann::ordered_json j;
  j["index"] = r.index + 1;  // JSON lines come as cameras finish: this is the list's order
  j["address"] = r.host;
  j["port"] = r.port;
  j["user"] = r.user;
  if (!r.name.empty()) j["name"] = r.name;
  if (!r.location.empty()) j["location"] = r.location;
  j["action"] = ActionName(r.action);
  j["outcome"] = StatusName(r.status);
  j["ok"] = r.ok;
  j["message"] = r.message;
  j["cause"] = CauseName(r.cause);
  if (r.cause != Cause::kNone) j["request"] = RequestName(r.request);
  if (!r.detail.empty()) j["detail"] = r.detail;
  if (!r.note.empty()) j["note"] = r.note;
  j["flip_before"] = OptionalBool(r.before, &Orientation::flip);
  j["mirror_before"] = OptionalBool(r.before, &Orientation::mirror);
  j["flip_wanted"] = Wanted(r.flipWanted, r.wanted, &Orientation::flip);
  j["mirror_wanted"] = Wanted(r.mirrorWanted, r.wanted, &Orientation::mirror);
  j["flip_after"] = OptionalBool(r.after, &Orientation::flip);
  j["mirror_after"] = OptionalBool(r.after, &Orientation::mirror);
  if (r.verified) j["verified"] = *r.verified;
  if (r.login > 0) j["login"] = r.login;
  if (!r.auth.empty()) j["auth"] = r.auth;
  j["elapsed_ms"] = r.elapsedMs;
  for (const auto& [key, value] : r.extra) j[key] = value;
  return j;
}

const std::string* ExtraCell(const CameraReport& r, const std::string& name) {
  for (const auto& [key, value] : r.extra) {
    if (key == name) return &value;
  }
  return nullptr;
}

const char* const kCsvColumns[] = {
    "index",      "address",      "port",        "user",          "name",        "location",
    "action",     "outcome",      "ok",          "message",       "cause",       "request",
    "detail",     "note",         "flip_before", "mirror_before", "flip_wanted", "mirror_wanted",
    "flip_after", "mirror_after", "verified",    "login",         "auth",        "elapsed_ms"};

}  // namespace

bool LooksLikeJsonLines(std::istream& in) {
  std::streambuf* buf = in.rdbuf();
  // Only blanks are skipped; a list's first byte stays for the list reader.
  for (;;) {
    const int c = buf->sgetc();
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      buf->sbumpc();
      continue;
    }
    return c == '{';
  }
}

void ReadReportLines(std::istream& in, const std::string& name, std::vector<ReportEntry>* entries,
                     std::vector<std::string>* errors, std::vector<std::string>* warnings) {
  std::string line;
  size_t number = 0;
  const size_t before = entries->size();
  for (LineRead got; (got = GetBoundedLine(in, &line)) != LineRead::kEnd;) {
    ++number;
    const std::string where = name + ":" + std::to_string(number);
    if (got == LineRead::kTooLong) {
      // No report has such lines; reading on could take forever (a device, a huge file).
      errors->push_back(where + ": a line longer than 64 KiB: no report");
      return;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    const json j = json::parse(line, nullptr, false);
    ReportEntry e;
    e.target.origin = where;
    std::string error = "not a JSON object";
    if (!j.is_discarded() && ReadEntry(j, &e, &error)) {
      entries->push_back(std::move(e));
      continue;
    }
    if (in.eof()) {
      warnings->push_back(where +
                          ": the last line is cut short (the run was stopped while "
                          "writing it); it is left out");
      break;
    }
    errors->push_back(where + ": " + error);
  }
  // The lines came as cameras finished; the list's order is what people look for.
  if (std::all_of(entries->begin() + static_cast<std::ptrdiff_t>(before), entries->end(),
                  [](const ReportEntry& e) { return e.target.listIndex > 0; })) {
    std::stable_sort(entries->begin() + static_cast<std::ptrdiff_t>(before), entries->end(),
                     [](const ReportEntry& a, const ReportEntry& b) {
                       return a.target.listIndex < b.target.listIndex;
                     });
  }
  if (in.bad()) {
    errors->push_back(name + ": read error after line " + std::to_string(number));
  } else if (entries->size() == before && errors->empty()) {
    errors->push_back(name + ": the report names no camera");
  }
}

bool MayHaveChanged(const ReportEntry& e) {
  if (e.action.empty()) return true;  // a backup line
  if (e.action != "set") return false;
  // The set command went out; a lost reply says nothing about whether it was taken.
  if (e.request == "setmotorrange") return true;
  for (const char* sent : {"set", "set-failed", "not-applied", "no-answer-after-restart",
                           "verify-interrupted", "interrupted"}) {
    if (e.outcome == sent) return true;
  }
  return false;
}

RestoreStep PrepareRestore(ReportEntry* e) {
  if (!MayHaveChanged(*e)) return RestoreStep::kUnchanged;
  if (!e->before) return RestoreStep::kBeforeUnknown;
  e->target.flip = e->before->flip ? Want::kOn : Want::kOff;
  e->target.mirror = e->before->mirror ? Want::kOn : Want::kOff;
  if (e->wanted) {
    e->target.sentFlip = e->wanted->flip;
    e->target.sentMirror = e->wanted->mirror;
  }
  return RestoreStep::kRestore;
}

std::string BackupLine(const Job& job, const Orientation& before, const Orientation& wanted) {
  nlohmann::ordered_json j;
  j["address"] = job.address.ToString();
  j["port"] = job.port;
  j["user"] = job.user;
  if (!job.name.empty()) j["name"] = job.name;
  if (!job.location.empty()) j["location"] = job.location;
  if (job.login > 0) j["login"] = job.login;
  if (job.digest) j["auth"] = "digest";
  j["flip_before"] = before.flip;
  j["mirror_before"] = before.mirror;
  j["flip_wanted"] = wanted.flip;
  j["mirror_wanted"] = wanted.mirror;
  for (const auto& [key, value] : job.extra) j[key] = value;
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string JsonLine(const CameraReport& r) {
  return Fields(r).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string CsvHeader(const std::vector<std::string>& extra) {
  std::string line;
  for (const char* c : kCsvColumns) line += std::string(line.empty() ? "" : ",") + c;
  for (const std::string& name : extra) line += "," + CsvCell(name);
  return line + "\r\n";
}

std::string CsvRow(const CameraReport& r, const std::vector<std::string>& extra) {
  const nlohmann::ordered_json j = Fields(r);
  std::string line;
  bool first = true;
  for (const char* c : kCsvColumns) {
    if (!first) line += ',';
    first = false;
    auto it = j.find(c);
    if (it == j.end() || it->is_null()) continue;
    line += CsvCell(it->is_string() ? it->get<std::string>()
                                    : it->dump(-1, ' ', false,
                                               nlohmann::ordered_json::error_handler_t::replace));
  }
  for (const std::string& name : extra) {
    const std::string* value = ExtraCell(r, name);
    line += "," + (value ? CsvCell(*value) : std::string());
  }
  return line + "\r\n";
}

bool WriteBackupLine(std::ostream& out, const Job& job, const Orientation& before,
                     const Orientation& wanted) {
  out << BackupLine(job, before, wanted) << "\n" << std::flush;
  return static_cast<bool>(out);
}

}  // namespace fleet
