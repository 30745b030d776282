// CString: the growable single-byte text type the dialog framework's code is written against.
// No GUI in here, so the exchange library and the command-line tools never link a toolkit.
#ifndef TILTWISE_BASE_CSTRING_H_
#define TILTWISE_BASE_CSTRING_H_

#include <cstdarg>
#include <iosfwd>
#include <string>

#if defined(__GNUC__)
#define TILTWISE_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define TILTWISE_PRINTF(fmt, first)
#endif

// The framework's names for text pointers, so code written against it compiles as it is.
typedef const char* LPCTSTR;
typedef const char* LPCSTR;
typedef char* LPTSTR;
typedef char* LPSTR;

class CString {
 public:
  CString() = default;
  // Takes the text up to its first zero byte; a null pointer gives the empty text.
  CString(const char* text);  // NOLINT(runtime/explicit): used like the framework's type
  // Takes exactly `length` bytes, zero bytes included.
  CString(const char* text, int length);
  CString(char ch, int repeat = 1);
  explicit CString(std::string text) : s_(std::move(text)) {}

  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  const char* GetString() const { return s_.c_str(); }
  operator const char*() const { return s_.c_str(); }  // NOLINT: the framework's conversion
  const std::string& str() const { return s_; }

  // A writable buffer of at least `minLength` characters (plus the ending zero byte), valid
  // until the next change; ReleaseBuffer takes the text back up to `newLength`, or up to the
  // first zero byte when it is -1.
  char* GetBuffer(int minLength = 0);
  void ReleaseBuffer(int newLength = -1);

  char GetAt(int index) const { return s_.at(static_cast<size_t>(index)); }
  char operator[](int index) const { return GetAt(index); }

  // Index of the first occurrence at or after `start`, or -1. An empty needle is found at
  // `start` when `start` lies within the text.
  int Find(const char* sub, int start = 0) const;
  int Find(char ch, int start = 0) const;
  int ReverseFind(char ch) const;

  // Replaces every non-overlapping occurrence, scanning left to right; what a replacement
  // produces is not scanned again. Returns the number of replacements; an empty `from` does
  // nothing.
  int Replace(const char* from, const char* to);
  int Replace(char from, char to);

  // Out-of-range counts and indexes are clamped, as the framework does.
  CString Left(int count) const;
  CString Right(int count) const;
  CString Mid(int first) const;
  CString Mid(int first, int count) const;

  CString& TrimLeft();
  CString& TrimRight();
  CString& Trim() { return TrimRight().TrimLeft(); }
  CString& MakeLower();
  CString& MakeUpper();

  int Compare(const char* other) const;
  int CompareNoCase(const char* other) const;

  void Format(const char* format, ...) TILTWISE_PRINTF(2, 3);
  void FormatV(const char* format, va_list args);
  void AppendFormat(const char* format, ...) TILTWISE_PRINTF(2, 3);

  CString& operator=(const char* text);
  CString& operator+=(const CString& other) {
    s_ += other.s_;
    return *this;
  }
  CString& operator+=(const char* text);
  void Append(const char* text) { *this += text; }
  CString& operator+=(char ch) {
    s_ += ch;
    return *this;
  }

  friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
  friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
  friend bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
  friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
  friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
  friend bool operator!=(const char* a, const CString& b) { return !(a == b); }
  friend bool operator<(const CString& a, const CString& b) { return a.s_ < b.s_; }

  friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
  friend CString operator+(const CString& a, const char* b) { return a + CString(b); }
  friend CString operator+(const char* a, const CString& b) { return CString(a) + b; }

 private:
  std::string s_;
};

std::ostream& operator<<(std::ostream& out, const CString& text);

#endif  // TILTWISE_BASE_CSTRING_H_
