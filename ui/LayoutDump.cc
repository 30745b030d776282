#include "ui/LayoutDump.h"

#include <cstdio>
#include <cstdlib>

namespace ui {
namespace {

void AppendQuoted(std::string* out, const std::string& text) {
  out->push_back('"');
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out->append(hex);
    } else {
      out->push_back(static_cast<char>(c));
    }
  }
  out->push_back('"');
}

std::string RectText(const Rect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

}  // namespace

const std::string& LayoutDumpPath() {
#ifdef TILTWISE_TEST_HOOKS
  static const std::string path = [] {
    const char* value = std::getenv("TILTWISE_DUMP_LAYOUT");
    return std::string(value ? value : "");
  }();
#else
  static const std::string path;  // a build for users: no hook to turn on
#endif
  return path;
}

std::string FormatLayout(const LayoutState& state, const std::string& event, int sequence) {
  std::string out = "layout " + std::to_string(sequence) + " " + event + "\n";
  for (const LayoutDialog& d : state.dialogs) {
    out += "dialog caption=";
    AppendQuoted(&out, d.caption);
    out += " client=" + RectText(d.client) + " units=" + std::to_string(d.unitsX) + "," +
           std::to_string(d.unitsY) + " focus=" + std::to_string(d.focusId) + "\n";
    for (const LayoutControl& c : d.controls) {
      out += "control id=" + std::to_string(c.id) + " kind=";
      AppendQuoted(&out, KindName(c.kind));
      out += " text=";
      AppendQuoted(&out, c.password ? std::string(c.text.size(), '*') : c.text);
      out += " rect=" + RectText(c.rect) + " check=" + std::to_string(c.check) +
             " enabled=" + (c.enabled ? "1" : "0") + " font=" + std::to_string(c.fontHeight) + "\n";
    }
  }
  for (const LayoutMessage& m : state.messages) {
    out += "message caption=";
    AppendQuoted(&out, m.caption);
    out += " text=";
    AppendQuoted(&out, m.text);
    out += " style=" + std::to_string(m.style) + "\n";
  }
  out += "end\n";
  return out;
}

bool DumpLayout(const LayoutState& state, const std::string& event) {
  static int sequence = 0;
  const std::string& path = LayoutDumpPath();
  if (path.empty()) return true;
  std::string block = FormatLayout(state, event, ++sequence);
  // Closed at once, so nothing waits in a buffer when the process is killed; a reader polling
  // the file takes a block only once its "end" line is there.
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return false;
  bool ok = std::fwrite(block.data(), 1, block.size(), f) == block.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace ui
