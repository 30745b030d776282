#include "base/CString.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <vector>

CString::CString(const char* text) : s_(text ? text : "") {}

CString::CString(const char* text, int length) {
  if (text && length > 0) s_.assign(text, static_cast<size_t>(length));
}

CString::CString(char ch, int repeat) : s_(static_cast<size_t>(std::max(repeat, 0)), ch) {}

CString& CString::operator=(const char* text) {
  s_ = text ? text : "";
  return *this;
}

CString& CString::operator+=(const char* text) {
  if (text) s_ += text;
  return *this;
}

char* CString::GetBuffer(int minLength) {
  if (minLength > GetLength()) s_.resize(static_cast<size_t>(minLength));
  return &s_[0];
}

void CString::ReleaseBuffer(int newLength) {
  size_t n = newLength < 0 ? std::strlen(s_.c_str()) : static_cast<size_t>(newLength);
  s_.resize(std::min(n, s_.size()));
}

int CString::Find(const char* sub, int start) const {
  if (!sub || start < 0 || start > GetLength()) return -1;
  size_t at = s_.find(sub, static_cast<size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(char ch, int start) const {
  if (start < 0 || start > GetLength()) return -1;
  size_t at = s_.find(ch, static_cast<size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(char ch) const {
  size_t at = s_.rfind(ch);
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Replace(const char* from, const char* to) {
  if (!from || !*from) return 0;
  const std::string needle(from), repl(to ? to : "");
  std::string out;
  int count = 0;
  size_t pos = 0;
  for (size_t at; (at = s_.find(needle, pos)) != std::string::npos; pos = at + needle.size()) {
    out.append(s_, pos, at - pos).append(repl);
    ++count;
  }
  if (count) {
    out.append(s_, pos, std::string::npos);
    s_.swap(out);
  }
  return count;
}

int CString::Replace(char from, char to) {
  int count = 0;
  for (char& c : s_) {
    if (c == from) {
      c = to;
      ++count;
    }
  }
  return count;
}

CString CString::Left(int count) const {
  count = std::clamp(count, 0, GetLength());
  return CString(s_.substr(0, static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
  count = std::clamp(count, 0, GetLength());
  return CString(s_.substr(s_.size() - static_cast<size_t>(count)));
}

CString CString::Mid(int first) const {
  return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const {
  first = std::clamp(first, 0, GetLength());
  count = std::clamp(count, 0, GetLength() - first);
  return CString(s_.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString& CString::TrimLeft() {
  size_t i = 0;
  while (i < s_.size() && std::isspace(static_cast<unsigned char>(s_[i]))) ++i;
  s_.erase(0, i);
  return *this;
}

CString& CString::TrimRight() {
  while (!s_.empty() && std::isspace(static_cast<unsigned char>(s_.back()))) s_.pop_back();
  return *this;
}

CString& CString::MakeLower() {
  for (char& c : s_) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return *this;
}

CString& CString::MakeUpper() {
  for (char& c : s_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return *this;
}

int CString::Compare(const char* other) const {
  int r = std::strcmp(s_.c_str(), other ? other : "");
  return (r > 0) - (r < 0);
}

int CString::CompareNoCase(const char* other) const {
  CString a(*this), b(other);
  return a.MakeLower().Compare(b.MakeLower());
}

void CString::FormatV(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  int need = std::vsnprintf(nullptr, 0, format, args);
  if (need < 0) {
    va_end(again);
    s_.clear();
    return;
  }
  std::vector<char> buf(static_cast<size_t>(need) + 1);
  std::vsnprintf(buf.data(), buf.size(), format, again);
  va_end(again);
  s_.assign(buf.data(), static_cast<size_t>(need));
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void CString::AppendFormat(const char* format, ...) {
  CString tail;
  va_list args;
  va_start(args, format);
  tail.FormatV(format, args);
  va_end(args);
  s_ += tail.s_;
}

std::ostream& operator<<(std::ostream& out, const CString& text) {
  return out << text.str();
}
