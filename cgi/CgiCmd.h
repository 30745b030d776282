// CCgiCmd: one HTTP GET exchange with a camera's built-in web server, and the readers that pull
// named values out of its replies. Static operations only: no object, no state between calls.
// Failures are results, never exceptions: 0 (or -1 from the sender), empty text, or 0.
#ifndef TILTWISE_CGI_CGICMD_H_
#define TILTWISE_CGI_CGICMD_H_

#include "base/CString.h"
#include "base/IPv4Address.h"
#include "cgi/net.h"

class CCgiCmd {
 public:
  virtual ~CCgiCmd();

  // One GET over a fresh TCP connection to a dotted-decimal IPv4 address (blanks and tabs around
  // it are passed over). Every wait (the connection, each send, each read) is bounded by
  // `timeoutMs`; reading ends when the server closes, falls silent for a whole limit, or 2048
  // bytes are held. `reply` gets the bytes up to
  // the first zero byte. Returns 1 when at least one byte arrived, else 0 (and `reply` empty).
  static int HttpGet(const CString& ip, int port, const CString& user, const CString& password,
                     const CString& path, CString& reply, int timeoutMs);
  // The same, with the whole exchange also bounded by `deadlineMs` from the call, so a server
  // that trickles bytes cannot hold the caller. A deadline of 0 or less means none.
  static int HttpGet(const CString& ip, int port, const CString& user, const CString& password,
                     const CString& path, CString& reply, int timeoutMs, int deadlineMs);
  // The same, with the connection attempt bounded by one wait or by what is left of the
  // deadline: a camera behind a slow link may take longer to accept than to answer.
  enum class ConnectLimit { kOneWait, kDeadline };
  static int HttpGet(const CString& ip, int port, const CString& user, const CString& password,
                     const CString& path, CString& reply, int timeoutMs, int deadlineMs,
                     ConnectLimit connectLimit);

  // The complete request text: the fixed header lines with Basic credentials of "user:password".
  static CString BuildGetRequest(const CString& user, const CString& password, const CString& path);
  // The same lines with another Authorization value in place of Basic ("Digest ..."); with an
  // empty value the request goes without credentials.
  static CString BuildGetRequestWith(const CString& path, const CString& authorization);
  // HttpGet with a request composed by the caller (the Digest logins, cgi/Authorized.h).
  static int HttpGetRequest(const CString& ip, int port, const CString& request, CString& reply,
                            int timeoutMs, int deadlineMs,
                            ConnectLimit connectLimit = ConnectLimit::kOneWait);
  // The same to an address read before (a list of cameras read once).
  static int HttpGetRequest(const tw::IPv4Address& address, int port, const CString& request,
                            CString& reply, int timeoutMs, int deadlineMs,
                            ConnectLimit connectLimit = ConnectLimit::kOneWait);

  // Told of every exchange as it ends, on the thread that made it: the request's first line
  // (never its credentials), the reply's first line (empty when nothing came) and how long it
  // took. For a verbose log; null (the default) tells nobody.
  using ExchangeTrace = void (*)(const char* ip, int port, const char* requestLine,
                                 const char* statusLine, long long elapsedMs);
  static void SetExchangeTrace(ExchangeTrace trace);

  // Writes all `length` bytes, each pass waiting at most `timeoutMs` for writability.
  // Returns 0 when everything was sent (or `length` <= 0), -1 on failure.
  static int SendWithTimeout(net::Socket s, const char* data, int length, int timeoutMs);

  // Script-variable readers for replies such as `var flip="1";` or `var n=5;`. With
  // `bNoVarPrefix` zero the name is looked for after "var ". See CgiCmd.cc for the exact search.
  static CString GetVarString(CString text, CString key, int bNoVarPrefix);
  static CString GetVarSqString(CString text, CString key, int bNoVarPrefix);
  static CString GetVarValue(CString text, CString key, int bNoVarPrefix);
  static int GetVarStringInt(CString text, CString key, int bNoVarPrefix);
  static int GetVarInt(CString text, CString key, int bNoVarPrefix);

  // Fetches `path` with the same request and waits as HttpGet and stores the reply's body (what
  // follows the header's first empty line, however the reply was cut into reads) in `fileName`,
  // created or emptied when the first bytes of reply arrive. A reply whose header never ends
  // (within 64 KiB) is stored whole. Returns 1 when the file was created
  // and everything that arrived was written and closed. Returns 0 and creates nothing when no
  // reply comes or the file cannot be created; 0 too after a failed write (the file keeps what
  // was written).
  static int HttpGetToFile(const CString& ip, int port, const CString& user,
                           const CString& password, const CString& path, const CString& fileName,
                           int timeoutMs);

  // Percent-encodes "%", "+", " ", "/", "?", "#", "&" and "="; everything else passes unchanged.
  static CString UrlEncode(CString text);

  // XML readers: searches for fixed patterns made from the names, not a parser; entities stay as
  // they are. Empty text (0 from the integer forms) when anything is missing.
  // The value of the first ` attr="..."` after the first `<tag ` (tag name and one space); the
  // search runs on past the end of that tag.
  static CString GetXmlAttr(CString text, CString tag, CString attr);
  static int GetXmlAttrInt(CString text, CString tag, CString attr);
  // The text between the first `<element>` and the next `</element>`; with an inner type name,
  // between `<element><innerType>` and `</innerType></element>`.
  static CString GetXmlElement(CString text, CString element, CString innerType);
  static CString GetXmlString(CString text, CString element);  // inner type "string"
  static int GetXmlInt(CString text, CString element);         // inner type "int"

  // Base64 (RFC 4648, standard alphabet, padded) of `in` up to its first zero byte. `out` must
  // hold 4 * ceil(n / 3) + 1 bytes; the form returning a CString needs no such care.
  static void Base64Encode(const char* in, char* out);
  static CString Base64Encode(const CString& in);
};

#endif  // TILTWISE_CGI_CGICMD_H_
