// The part of a camera's web server that turns one request into one reply: no sockets, no
// clock, no threads. The poll loop (PollLoop.cc) feeds it whole request headers.
#ifndef TILTWISE_CAMSIM_CAMERAHTTP_H_
#define TILTWISE_CAMSIM_CAMERAHTTP_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "camsim/DigestAuth.h"

namespace camsim {

// The realm every login challenge names, Basic and Digest alike.
inline constexpr char kRealm[] = "IPCamera";

// ASCII comparison without regard to case, as HTTP compares scheme and header names.
bool EqualsNoCase(std::string_view a, std::string_view b);

struct ParsedRequest {
  std::string method;
  std::string target;         // as sent: path and query string, not decoded
  std::string authorization;  // value of the first Authorization header, trimmed; may be empty
  bool has_authorization = false;
};

enum class ParseStatus { kIncomplete, kComplete, kBad };

// Looks for a complete request header (ended by an empty line, CRLF or bare LF) at the start of
// `data`. kComplete fills `out` and `header_length` (bytes up to and including the empty line);
// kBad means the request line is not "METHOD TARGET HTTP/x.y". Only the request line and the
// Authorization header are read, like a camera does.
ParseStatus ParseRequest(std::string_view data, ParsedRequest* out, size_t* header_length);

// RFC 4648 Base64 with the standard alphabet; the trailing "=" padding may be left out.
// Returns false on any other character or an impossible length.
bool Base64Decode(std::string_view text, std::string* out);

// True when `header_value` is "Basic <base64 of user:password>" (scheme case-insensitive).
bool CheckBasicAuth(std::string_view header_value, std::string_view user,
                    std::string_view password);

// What one camera answers with; fixed for the duration of one request.
struct CameraSettings {
  int port = 0;
  int chip_type = 71;
  std::string user;
  std::string password;
  bool info_page = true;
  bool http10 = false;
  bool oversize = false;   // pad every body so the content starts after byte 2048
  bool no_values = false;  // getmotorrange answers 200 with a page that holds no values
  AuthMode auth = AuthMode::kBasic;
  // Served as the values' text instead of the digits the camera holds, when not empty.
  std::string flip_text{};
  std::string mirror_text{};
};

// The settings a successful setmotorrange changes.
struct Orientation {
  int flip = 0;
  int mirror = 0;
};

// Whether a request's credentials were checked, and how that went.
enum class Login { kNone, kFailed, kPassed };

struct Outcome {
  int status = 0;
  Login login = Login::kNone;
  std::string reply;            // the complete HTTP response, ready to send
  bool restart = false;         // a setmotorrange succeeded: the camera restarts after replying
  bool motor_range = false;     // a getmotorrange answered 200
  const char* scheme = "none";  // the login the request used: "basic", "digest" or "none"
};

// Answers `request`: 401 without valid credentials (a wrong Authorization is a failed login), then
// the information page, the two param.cgi commands, or 404. A successful setmotorrange stores into
// `orientation`. A camera that asks for Digest needs `digest` (without it, it asks for Basic).
Outcome Respond(const ParsedRequest& request, const CameraSettings& camera,
                Orientation* orientation, const DigestContext* digest = nullptr);

// A complete response with the camera's header lines (Connection: close, Content-Length). A 401
// carries `challenges` (WWW-Authenticate lines), or a Basic challenge when they are empty.
std::string BuildResponse(bool http10, int status, std::string_view content_type,
                          std::string_view body, std::string_view challenges = {});

// The response to a request header that exceeds the size limit or cannot be parsed.
std::string BadRequestResponse(bool http10);

// The target with control and non-ASCII bytes replaced by '?', for one-line logs.
std::string PrintableTarget(std::string_view target);

}  // namespace camsim

#endif  // TILTWISE_CAMSIM_CAMERAHTTP_H_
