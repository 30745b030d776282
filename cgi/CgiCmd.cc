#include "cgi/CgiCmd.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/IPv4Address.h"
#include "cgi/HeaderEnd.h"
#include "cgi/WaitLimit.h"

namespace {

constexpr int kReceiveCapacity = 2048;
// The most of a download held back while its header has not ended.
constexpr std::size_t kMaxHeldHeader = 64 * 1024;

// Owns one socket for the length of an exchange, so every path closes it.
class ScopedSocket {
 public:
  explicit ScopedSocket(net::Socket s) : s_(s) {}
  ~ScopedSocket() { net::Close(s_); }
  ScopedSocket(const ScopedSocket&) = delete;
  ScopedSocket& operator=(const ScopedSocket&) = delete;
  net::Socket get() const { return s_; }
  bool valid() const { return s_ != net::kInvalidSocket; }
  void Close() {
    net::Close(s_);
    s_ = net::kInvalidSocket;
  }

 private:
  net::Socket s_;
};

// The per-wait limit, shortened so no wait runs past an overall deadline (0: none).
class Budget {
 public:
  Budget(int timeoutMs, int deadlineMs, bool connectTakesDeadline = false)
      : wait_(ToPollMs(ToWaitLimit(timeoutMs))),
        end_(deadlineMs > 0 ? tw::NowMs() + deadlineMs : 0),
        connectTakesDeadline_(connectTakesDeadline && end_ != 0) {}
  // The connection attempt's limit: one wait's, or all that is left of the deadline.
  int Connect() const {
    if (!connectTakesDeadline_ || wait_ < 0) return Next();
    std::int64_t left = end_ - tw::NowMs();
    return left <= 0 ? -1 : static_cast<int>(left);
  }
  // The next wait's limit; negative once the deadline has passed (the wait then fails).
  int Next() const {
    if (end_ == 0 || wait_ < 0) return wait_;
    std::int64_t left = end_ - tw::NowMs();
    if (left <= 0) return -1;
    return left < wait_ ? static_cast<int>(left) : wait_;
  }

 private:
  int wait_;
  std::int64_t end_;
  bool connectTakesDeadline_;
};

// The dialog's address as typed: blanks and tabs around it are passed over.
std::optional<tw::IPv4Address> Parse(const CString& ip) {
  return tw::IPv4Address::ParsePasted(ip.GetString());
}

// A socket connected within the first wait's limit, or an invalid socket.
net::Socket Connect(const std::optional<tw::IPv4Address>& address, int port, const Budget& budget) {
  // A port outside 0-65535 would wrap to another port; an unreadable address would become
  // the broadcast address. Neither is what the user typed.
  if (port < 0 || port > 65535 || !address || !address->IsDestination()) {
    return net::kInvalidSocket;
  }
  net::Socket s = net::OpenTcp();
  if (s == net::kInvalidSocket) return s;
  if (!net::ConnectWithin(s, address->netOrder(), port, budget.Connect())) {
    net::Close(s);
    return net::kInvalidSocket;
  }
  return s;
}

// Each pass waits afresh, for the whole limit or what is left before the deadline.
int SendAll(net::Socket s, const char* data, int length, const Budget& budget) {
  while (length > 0) {
    if (net::WaitWritable(s, budget.Next()) != net::Wait::kReady) return -1;
    int sent = net::Send(s, data, length);
    if (sent >= 0) {
      data += sent;
      length -= sent;
    } else if (!net::LastErrorIsTransient()) {
      return -1;
    }
  }
  return 0;
}

// Socket, connection and the request sent: the common start of the reply and the download.
// An invalid socket when any of them fails.
net::Socket Open(const std::optional<tw::IPv4Address>& address, int port, const CString& request,
                 const Budget& budget) {
  net::Socket s = Connect(address, port, budget);
  if (s != net::kInvalidSocket && SendAll(s, request, request.GetLength(), budget) < 0) {
    net::Close(s);
    return net::kInvalidSocket;
  }
  return s;
}

// One step of the common receive loop: waits for the socket, then reads at most `capacity`
// bytes. The count read, or 0 or less when the loop ends (time-out, failed wait, the peer closed
// or a failed read).
int ReadSome(net::Socket s, const Budget& budget, char* into, int capacity) {
  if (net::WaitReadable(s, budget.Next()) != net::Wait::kReady) return 0;
  return net::Recv(s, into, capacity);
}

std::atomic<CCgiCmd::ExchangeTrace> g_trace{nullptr};

// Only the first lines go out: the request's later lines carry the credentials.
void Trace(const std::optional<tw::IPv4Address>& address, int port, const CString& request,
           const char* reply, int length, std::int64_t startMs) {
  const CCgiCmd::ExchangeTrace trace = g_trace.load();
  if (trace == nullptr) return;
  const std::string ip = address ? address->ToString() : std::string("(no address)");
  const std::string text(request.GetString());
  const std::string line = text.substr(0, text.find_first_of("\r\n"));
  const std::string status(reply, static_cast<size_t>(length));
  trace(ip.c_str(), port, line.c_str(), status.substr(0, status.find_first_of("\r\n")).c_str(),
        tw::NowMs() - startMs);
}

// Takes its texts by value: a caller may name the reply it wants filled as one of them.
int Exchange(std::optional<tw::IPv4Address> address, int port, CString request, CString& reply,
             int timeoutMs, int deadlineMs, bool connectTakesDeadline = false) {
  reply.Empty();
  const std::int64_t start = tw::NowMs();
  const Budget budget(timeoutMs, deadlineMs, connectTakesDeadline);
  ScopedSocket sock(Open(address, port, request, budget));
  if (!sock.valid()) {
    Trace(address, port, request, "", 0, start);
    return 0;
  }

  std::vector<char> buffer(kReceiveCapacity, '\0');
  int filled = 0;
  // Once the buffer is full this asks for nothing, gets 0 and ends: the rest stays unread.
  for (int got; (got = ReadSome(sock.get(), budget, buffer.data() + filled,
                                kReceiveCapacity - filled)) > 0;) {
    filled += got;
  }
  reply = CString(buffer.data(), static_cast<int>(::strnlen(buffer.data(), filled)));
  Trace(address, port, request, buffer.data(), filled, start);
  return filled > 0 ? 1 : 0;
}

// atoi's reading without its undefined behaviour on overflow: saturates instead.
int ToInt(const CString& text) {
  long long v = std::strtoll(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int>(v);
}

// The script-variable search shared by the three text readers.
enum class Form { kDoubleQuoted, kSingleQuoted, kUnquoted };

CString ReadVar(CString text, const CString& key, int bNoVarPrefix, Form form) {
  text.Replace(" =", "=");
  text.Replace("= ", "=");
  const CString prefix = bNoVarPrefix ? key : CString("var ") + key;
  const char* opening = form == Form::kDoubleQuoted   ? "=\""
                        : form == Form::kSingleQuoted ? "='"
                                                      : "=";
  CString pattern = prefix + opening;
  int at = text.Find(pattern);
  if (at >= 0) {
    CString rest = text.Mid(at + pattern.GetLength());
    int end = -1;
    switch (form) {
      case Form::kDoubleQuoted:
        end = rest.Find("\";");
        if (end < 0) end = rest.Find('"');
        break;
      case Form::kSingleQuoted:
        end = rest.Find("';");
        break;
      case Form::kUnquoted:
        end = rest.Find(';');
        break;
    }
    return end < 0 ? CString() : rest.Left(end);
  }
  if (form == Form::kUnquoted) return CString();
  // The quoted readers fall back to a bare assignment, always with the keyword.
  pattern = CString("var ") + key + "=";
  at = text.Find(pattern);
  if (at < 0) return CString();
  CString rest = text.Mid(at + pattern.GetLength());
  int end = rest.Find(';');
  return end < 0 ? CString() : rest.Left(end);
}

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

CCgiCmd::~CCgiCmd() = default;

void CCgiCmd::SetExchangeTrace(ExchangeTrace trace) {
  g_trace.store(trace);
}

int CCgiCmd::HttpGet(const CString& ip, int port, const CString& user, const CString& password,
                     const CString& path, CString& reply, int timeoutMs) {
  return Exchange(Parse(ip), port, BuildGetRequest(user, password, path), reply, timeoutMs, 0);
}

int CCgiCmd::HttpGet(const CString& ip, int port, const CString& user, const CString& password,
                     const CString& path, CString& reply, int timeoutMs, int deadlineMs) {
  return Exchange(Parse(ip), port, BuildGetRequest(user, password, path), reply, timeoutMs,
                  deadlineMs);
}

int CCgiCmd::HttpGetRequest(const CString& ip, int port, const CString& request, CString& reply,
                            int timeoutMs, int deadlineMs, ConnectLimit connectLimit) {
  return Exchange(Parse(ip), port, request, reply, timeoutMs, deadlineMs,
                  connectLimit == ConnectLimit::kDeadline);
}

int CCgiCmd::HttpGetRequest(const tw::IPv4Address& address, int port, const CString& request,
                            CString& reply, int timeoutMs, int deadlineMs,
                            ConnectLimit connectLimit) {
  return Exchange(address, port, request, reply, timeoutMs, deadlineMs,
                  connectLimit == ConnectLimit::kDeadline);
}

int CCgiCmd::HttpGet(const CString& ip, int port, const CString& user, const CString& password,
                     const CString& path, CString& reply, int timeoutMs, int deadlineMs,
                     ConnectLimit connectLimit) {
  return HttpGetRequest(ip, port, BuildGetRequest(user, password, path), reply, timeoutMs,
                        deadlineMs, connectLimit);
}

CString CCgiCmd::BuildGetRequest(const CString& user, const CString& password,
                                 const CString& path) {
  CString credentials;
  credentials.Format("%s:%s", user.GetString(), password.GetString());
  return BuildGetRequestWith(path, "Basic " + Base64Encode(credentials));
}

CString CCgiCmd::BuildGetRequestWith(const CString& path, const CString& authorization) {
  CString line;
  if (!authorization.IsEmpty()) line.Format("Authorization: %s\r\n", authorization.GetString());
  CString request;
  request.Format(
      "GET %s HTTP/1.1\r\n"
      "Accept: */*\r\n"
      "Accept-Language: en-us\r\n"
      "Accept-Encoding: gzip, deflate\r\n"
      "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727)\r\n"
      "Host: 127.0.0.1:80\r\n"
      "Connection: Keep-Alive\r\n"
      "%s"
      "Cache-Control:no-cache\r\n"
      "Connection: close\r\n"
      "\r\n",
      path.GetString(), line.GetString());
  return request;
}

int CCgiCmd::SendWithTimeout(net::Socket s, const char* data, int length, int timeoutMs) {
  return SendAll(s, data, length, Budget(timeoutMs, 0));
}

CString CCgiCmd::GetVarString(CString text, CString key, int bNoVarPrefix) {
  return ReadVar(std::move(text), key, bNoVarPrefix, Form::kDoubleQuoted);
}

CString CCgiCmd::GetVarSqString(CString text, CString key, int bNoVarPrefix) {
  return ReadVar(std::move(text), key, bNoVarPrefix, Form::kSingleQuoted);
}

CString CCgiCmd::GetVarValue(CString text, CString key, int bNoVarPrefix) {
  return ReadVar(std::move(text), key, bNoVarPrefix, Form::kUnquoted);
}

int CCgiCmd::GetVarStringInt(CString text, CString key, int bNoVarPrefix) {
  return ToInt(GetVarString(std::move(text), std::move(key), bNoVarPrefix));
}

int CCgiCmd::GetVarInt(CString text, CString key, int bNoVarPrefix) {
  return ToInt(GetVarValue(std::move(text), std::move(key), bNoVarPrefix));
}

void CCgiCmd::Base64Encode(const char* in, char* out) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
  size_t n = std::strlen(in);
  for (; n >= 3; n -= 3, p += 3) {
    *out++ = kBase64Alphabet[p[0] >> 2];
    *out++ = kBase64Alphabet[((p[0] & 0x03) << 4) | (p[1] >> 4)];
    *out++ = kBase64Alphabet[((p[1] & 0x0f) << 2) | (p[2] >> 6)];
    *out++ = kBase64Alphabet[p[2] & 0x3f];
  }
  if (n > 0) {
    *out++ = kBase64Alphabet[p[0] >> 2];
    if (n == 1) {
      *out++ = kBase64Alphabet[(p[0] & 0x03) << 4];
      *out++ = '=';
    } else {
      *out++ = kBase64Alphabet[((p[0] & 0x03) << 4) | (p[1] >> 4)];
      *out++ = kBase64Alphabet[(p[1] & 0x0f) << 2];
    }
    *out++ = '=';
  }
  *out = '\0';
}

CString CCgiCmd::Base64Encode(const CString& in) {
  std::vector<char> out(4 * ((static_cast<size_t>(in.GetLength()) + 2) / 3) + 1);
  Base64Encode(in.GetString(), out.data());
  return CString(out.data());
}

int CCgiCmd::HttpGetToFile(const CString& ip, int port, const CString& user,
                           const CString& password, const CString& path, const CString& fileName,
                           int timeoutMs) {
  const Budget budget(timeoutMs, 0);
  ScopedSocket sock(Open(Parse(ip), port, BuildGetRequest(user, password, path), budget));
  if (!sock.valid()) return 0;

  std::vector<char> chunk(kReceiveCapacity);
  std::FILE* file = nullptr;
  bool whole = true;
  HeaderEnd header;
  // Header bytes are held until the header ends; a reply that never ends its header (bare LF
  // lines, no header at all) is then written whole, as nothing of it was a header.
  std::string held;
  auto write = [&](const char* data, std::size_t count) {
    if (count > 0 && std::fwrite(data, 1, count, file) != count) whole = false;
    return whole;  // a full disk must not pass for a complete download
  };
  for (int got; (got = ReadSome(sock.get(), budget, chunk.data(), kReceiveCapacity)) > 0;) {
    // Opened only once a reply comes; if it cannot be, nothing is written anywhere.
    if (!file && !(file = std::fopen(fileName, "wb"))) break;
    const bool wasInHeader = !header.found() && held.size() <= kMaxHeldHeader;
    const std::size_t body =
        wasInHeader ? header.Feed(chunk.data(), static_cast<std::size_t>(got)) : 0;
    if (wasInHeader && !header.found()) {
      held.append(chunk.data(), static_cast<std::size_t>(got));
      // No header is this long: stop holding and keep what came as it came.
      if (held.size() > kMaxHeldHeader && !write(held.data(), held.size())) break;
      continue;
    }
    if (!write(chunk.data() + body, static_cast<std::size_t>(got) - body)) break;
  }
  sock.Close();
  if (!file) return 0;
  if (whole && !header.found() && held.size() <= kMaxHeldHeader) write(held.data(), held.size());
  if (std::fclose(file) != 0) whole = false;
  return whole ? 1 : 0;
}

CString CCgiCmd::UrlEncode(CString text) {
  // "%" first, so the "%" of the codes brought in later is not encoded again.
  static const char* const kCodes[][2] = {{"%", "%25"}, {"+", "%2B"}, {" ", "%20"}, {"/", "%2F"},
                                          {"?", "%3F"}, {"#", "%23"}, {"&", "%26"}, {"=", "%3D"}};
  for (const auto& code : kCodes) text.Replace(code[0], code[1]);
  return text;
}

CString CCgiCmd::GetXmlAttr(CString text, CString tag, CString attr) {
  const CString tagPattern = "<" + tag + " ";
  const CString attrPattern = " " + attr + "=\"";
  const int at = text.Find(tagPattern);
  if (at < 0) return CString();
  // From the tag pattern's trailing space, so an attribute right after the name is found; the
  // search is not confined to the tag.
  const int found = text.Find(attrPattern, at + tagPattern.GetLength() - 1);
  if (found < 0) return CString();
  const int start = found + attrPattern.GetLength();
  const int end = text.Find('"', start);
  return end < 0 ? CString() : text.Mid(start, end - start);
}

int CCgiCmd::GetXmlAttrInt(CString text, CString tag, CString attr) {
  return ToInt(GetXmlAttr(std::move(text), std::move(tag), std::move(attr)));
}

CString CCgiCmd::GetXmlElement(CString text, CString element, CString innerType) {
  const CString open =
      innerType.IsEmpty() ? "<" + element + ">" : "<" + element + "><" + innerType + ">";
  const CString close =
      innerType.IsEmpty() ? "</" + element + ">" : "</" + innerType + "></" + element + ">";
  const int at = text.Find(open);
  if (at < 0) return CString();
  const int start = at + open.GetLength();
  const int end = text.Find(close, start);
  return end < 0 ? CString() : text.Mid(start, end - start);
}

CString CCgiCmd::GetXmlString(CString text, CString element) {
  return GetXmlElement(std::move(text), std::move(element), "string");
}

int CCgiCmd::GetXmlInt(CString text, CString element) {
  return ToInt(GetXmlElement(std::move(text), std::move(element), "int"));
}
