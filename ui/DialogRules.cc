#include "ui/DialogRules.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace ui {

const char kAverageWidthSample[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

namespace {

constexpr int kMaxFontSize = 512;

// Windows-1252 bytes 0x80..0x9F; the five the code page leaves open map to the same code point.
constexpr unsigned kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char ToCp1252(unsigned cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

BaseUnits BaseUnitsFromMetrics(int sampleWidth, int cellHeight) {
  BaseUnits units;
  units.cx = std::max(1, (sampleWidth / 26 + 1) / 2);
  units.cy = std::max(1, cellHeight);
  return units;
}

Rect ControlPixels(const ControlTemplate& control, BaseUnits units) {
  Rect r;
  r.left = DialogUnitsToPixelsX(control.x, units.cx);
  r.top = DialogUnitsToPixelsY(control.y, units.cy);
  r.right = r.left + DialogUnitsToPixelsX(control.cx, units.cx);
  r.bottom = r.top + DialogUnitsToPixelsY(control.cy, units.cy);
  return r;
}

Rect ClientPixels(const DialogTemplate& dialog, BaseUnits units) {
  Rect r;
  r.right = DialogUnitsToPixelsX(dialog.cx, units.cx);
  r.bottom = DialogUnitsToPixelsY(dialog.cy, units.cy);
  return r;
}

Face ChooseFace(const LogFont& font) {
  char name[sizeof font.lfFaceName + 1] = {};
  std::memcpy(name, font.lfFaceName, sizeof font.lfFaceName);
  std::string face = name;
  for (char& c : face) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto has = [&face](const char* part) { return face.find(part) != std::string::npos; };
  Face f{Family::kSans, font.lfWeight >= 600, font.lfItalic != 0};
  if (has("courier") || has("mono") || has("console") || has("fixed") || has("terminal")) {
    f.family = Family::kMono;
  } else if (has("times") || has("roman") || has("georgia") || (has("serif") && !has("sans"))) {
    f.family = Family::kSerif;
  }
  return f;
}

int FontSize(int lfHeight, const std::function<int(int)>& cellHeightOf, int defaultSize) {
  if (lfHeight == 0) return std::max(1, defaultSize);
  if (lfHeight < 0) {
    // A character height: the cell the system gives it has a quarter more for accents. Faces
    // differ in how much of their size is leading, so the cell is what has to match.
    int character = lfHeight < -kMaxFontSize ? kMaxFontSize : -lfHeight;
    lfHeight = character + character / 4;
  }
  // The largest size whose cell fits: a few steps down from the cell, as a face's cell is a
  // little more than its size.
  for (int size = std::min(lfHeight, kMaxFontSize); size > 1; --size) {
    if (cellHeightOf(size) <= lfHeight) return size;
  }
  return 1;
}

LogFont TemplateFont(const DialogTemplate& dialog, int dpi) {
  LogFont f;
  f.lfHeight = PointSizeToLogicalHeight(dialog.fontPointSize > 0 ? dialog.fontPointSize : 8, dpi);
  f.lfWeight = dialog.fontWeight > 0 ? dialog.fontWeight : 400;
  f.lfItalic = dialog.fontItalic ? 1 : 0;
  std::strncpy(f.lfFaceName, dialog.fontName ? dialog.fontName : "", sizeof f.lfFaceName - 1);
  return f;
}

std::vector<MessageButton> MessageBoxButtons(unsigned style) {
  if ((style & 0xF) == 4) return {{win::kIdYes, "&Yes"}, {win::kIdNo, "&No"}};
  return {{win::kIdOk, "OK"}};
}

int MessageBoxEscapeAnswer(unsigned style) {
  return (style & 0xF) == 4 ? 0 : win::kIdOk;
}

MessageIcon MessageBoxIconOf(unsigned style) {
  switch (style & 0xF0) {
    case 0x10:
      return MessageIcon::kStop;
    case 0x30:
      return MessageIcon::kExclamation;
    default:
      return MessageIcon::kNone;
  }
}

std::string Cp1252ToUtf8(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c);
  }
  return out;
}

std::string Utf8ToCp1252(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80             ? 0
                : (c & 0xE0) == 0xC0 ? 1
                : (c & 0xF0) == 0xE0 ? 2
                : (c & 0xF8) == 0xF0 ? 3
                                     : -1;
    if (extra < 0) {  // a follower without a lead
      out += '?';
      ++i;
      continue;
    }
    unsigned cp = extra == 0 ? c : c & (0x3F >> extra);
    int n = 0;
    while (n < extra && i + 1 + n < text.size() &&
           (static_cast<unsigned char>(text[i + 1 + n]) & 0xC0) == 0x80) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + 1 + n]) & 0x3F);
      ++n;
    }
    // A sequence cut short counts as one character that cannot be shown.
    out += n == extra ? ToCp1252(cp) : '?';
    i += 1 + n;
  }
  return out;
}

int Utf8Offset(const std::string& utf8, int n) {
  const int len = static_cast<int>(utf8.size());
  int i = 0;
  for (int k = 0; k < n && i < len; ++k) {
    ++i;
    while (i < len && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) ++i;
  }
  return i;
}

std::string StripMnemonics(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '&') {
      out += '&';
      ++i;
    }
  }
  return out;
}

bool IsChoice(const ControlTemplate& control, const std::string& text) {
  std::vector<std::string> choices = TextLines(control.text);
  return std::find(choices.begin(), choices.end(), text) != choices.end();
}

}  // namespace ui
