#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "cli/Terminal.h"

namespace cli {
namespace term {
namespace {

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    StopAsked();
    return TRUE;
  }
  return FALSE;
}

constexpr size_t kMaxLine = 4096;

}  // namespace

bool IsTerminal(Stream stream) {
  FILE* f = stream == Stream::kIn ? stdin : stream == Stream::kOut ? stdout : stderr;
  return _isatty(_fileno(f)) != 0;
}

bool ColourOnTerminal() {
  const char* no = std::getenv("NO_COLOR");
  if (!IsTerminal(Stream::kOut) || (no != nullptr && *no != '\0')) return false;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
  return SetConsoleMode(out, mode | 0x0004) != 0;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
}

void InstallStopHandlers() {
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool IsStandardOutput(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION named{};
  const bool known = GetFileInformationByHandle(file, &named) != 0;
  CloseHandle(file);
  if (!known) return false;
  for (DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    BY_HANDLE_FILE_INFORMATION stream{};
    HANDLE h = GetStdHandle(which);
    if (h == INVALID_HANDLE_VALUE || h == nullptr || GetFileType(h) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(h, &stream)) {
      continue;
    }
    if (stream.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
        stream.nFileIndexHigh == named.nFileIndexHigh &&
        stream.nFileIndexLow == named.nFileIndexLow) {
      return true;
    }
  }
  return false;
}

bool IsSpecialFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

bool ReadHiddenLine(const char* prompt, std::string* line) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  if (in == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &saved)) return false;
  SetConsoleMode(in, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  line->clear();
  bool complete = false;
  while (!StopFlag().load()) {
    char c = 0;
    DWORD got = 0;
    if (!ReadConsoleA(in, &c, 1, &got, nullptr) || got == 0) break;
    if (c == '\n') {
      complete = true;
      break;
    }
    if (c != '\r' && line->size() < kMaxLine) line->push_back(c);
  }
  SetConsoleMode(in, saved);
  std::fputs("\n", stderr);
  if (!complete) line->clear();
  return complete;
}

}  // namespace term
}  // namespace cli
