// The list and report readers: files people hand over, in any spreadsheet's dialect. Input: the
// whole file, read as --input reads it. Every camera read must be one that can be sent to, every
// error must name the file, and a CSV list written back from what was read must read back the
// same.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "base/IPv4Address.h"
#include "fleet/Csv.h"
#include "fleet/ReportFile.h"
#include "fuzz/FuzzCheck.h"

namespace {

const char* WantText(const std::optional<fleet::Want>& w) {
  if (!w) return "";
  return *w == fleet::Want::kOn ? "on" : *w == fleet::Want::kOff ? "off" : "keep";
}

void CheckTarget(const fleet::Target& t) {
  // The address was read once, strictly, and names a camera.
  FUZZ_CHECK(t.address.IsDestination());
  FUZZ_CHECK(tw::IPv4Address::Parse(t.address.ToString()) == t.address);
  FUZZ_CHECK(t.port >= 1 && t.port <= 65535);
  FUZZ_CHECK(t.origin.rfind("list:", 0) == 0);
  for (const auto& [name, value] : t.extra) {
    FUZZ_CHECK(!name.empty() && !fleet::IsKnownColumn(name));
  }
}

bool Same(const fleet::Target& a, const fleet::Target& b) {
  return a.address == b.address && a.port == b.port && a.user == b.user && a.flip == b.flip &&
         a.mirror == b.mirror && a.name == b.name && a.location == b.location &&
         a.status == b.status && a.extra == b.extra;
}

// Written back in the plainest dialect; false when a value holds what no list line can.
bool WriteBack(const std::vector<fleet::Target>& targets, std::string* text) {
  const std::vector<std::string> extra = fleet::ExtraColumnNames(targets);
  *text = "host,port,user,flip,mirror,name,location,status";
  for (const std::string& name : extra) {
    if (name.find('\r') != std::string::npos) return false;
    *text += "," + fleet::CsvCell(name);
  }
  *text += "\n";
  for (const fleet::Target& t : targets) {
    std::vector<std::string> cells = {t.user.value_or(""), t.name, t.location, t.status};
    for (const std::string& name : extra) {
      std::string value;
      for (const auto& cell : t.extra) {
        if (cell.first == name) value = cell.second;
      }
      cells.push_back(value);
    }
    *text += t.address.ToString() + "," + std::to_string(t.port) + "," + fleet::CsvCell(cells[0]) +
             "," + WantText(t.flip) + "," + WantText(t.mirror);
    for (size_t k = 1; k < cells.size(); ++k) {
      if (cells[k].find('\r') != std::string::npos) return false;
      *text += "," + fleet::CsvCell(cells[k]);
    }
    if (cells[0].find('\r') != std::string::npos) return false;
    *text += "\n";
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::istringstream in(input);
  std::vector<std::string> errors;
  if (fleet::LooksLikeJsonLines(in)) {
    std::vector<fleet::ReportEntry> entries;
    std::vector<std::string> warnings;
    fleet::ReadReportLines(in, "list", &entries, &errors, &warnings);
    for (const fleet::ReportEntry& e : entries) CheckTarget(e.target);
    for (const std::string& e : errors) FUZZ_CHECK(e.rfind("list:", 0) == 0);
    return 0;
  }
  std::vector<fleet::Target> targets;
  fleet::ReadTargetList(in, "list", &targets, &errors);
  for (const std::string& e : errors) FUZZ_CHECK(e.rfind("list:", 0) == 0);
  for (const fleet::Target& t : targets) CheckTarget(t);
  if (!errors.empty()) return 0;

  std::string text;
  if (!WriteBack(targets, &text)) return 0;
  std::istringstream again(text);
  std::vector<fleet::Target> reread;
  fleet::ReadTargetList(again, "list", &reread, &errors);
  FUZZ_CHECK(errors.empty());
  FUZZ_CHECK(reread.size() == targets.size());
  for (size_t i = 0; i < targets.size(); ++i) FUZZ_CHECK(Same(targets[i], reread[i]));
  return 0;
}
