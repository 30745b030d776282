#include "camera/CameraProcedures.h"

#include <utility>

#include "base/Clock.h"
#include "base/IPv4Address.h"
#include "cgi/Authorized.h"
#include "cgi/CgiCmd.h"

const char kInfoPagePath[] = "/qx.html";
const char kGetMotorRangePath[] = "/param.cgi?cmd=getmotorrange";
const char kSetMotorRangeFormat[] = "/param.cgi?cmd=setmotorrange&-flip=%d&-mirror=%d";

namespace {

const char kHttp11Ok[] = "HTTP/1.1 200 OK";
const char kHttp10Ok[] = "HTTP/1.0 200 OK";
const char kSucceed[] = "[Succeed]";
const int kReplyLimit = 2048;  // what HttpGet keeps of a reply

bool Contains(const CString& text, const char* what) {
  return text.Find(what) >= 0;
}

// The probe's reply counts in either protocol version; the param.cgi replies only in 1.1.
bool ProbeSucceeded(const CString& reply) {
  return Contains(reply, kHttp11Ok) || Contains(reply, kHttp10Ok);
}

// A line of the reply (or of what was typed), printable and short enough to show.
CString Printable(const CString& text) {
  const int kMaxShown = 80;
  CString line;
  for (int i = 0; i < text.GetLength(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') break;
    if (line.GetLength() == kMaxShown) {
      line += "...";
      break;
    }
    line += c >= 0x20 && c < 0x7f ? c : '?';
  }
  return line;
}

// The words of each cause, in one place; `fact` is what was seen, where the cause has one.
CString Describe(Cause cause, Request request, const CString& fact) {
  CString text = CString(RequestName(request)) + ": ";
  switch (cause) {
    case Cause::kNone:
      return CString();
    case Cause::kBadAddress:
      return text + "\"" + fact + "\" is not a dotted-quad IPv4 address with a port 0-65535";
    case Cause::kRefused:
      return text + "no answer: connection refused or closed without a reply";
    case Cause::kTimedOut:
      return text + "no answer: timed out after " + fact;
    case Cause::kDeadline:
      return text + "cut off by the deadline" + fact;
    case Cause::kUnauthorized:
      return text + fact + ": wrong user name or password";
    case Cause::kBadStatus:
      return text + fact;
    case Cause::kValuesMissing:
      return text + "the reply holds no " + fact;
    case Cause::kNoSucceed:
      return text + "no [Succeed] in the reply" + fact;
    case Cause::kChipType:
      return text + "chip type " + fact;
    default:
      return text + fact;
  }
  return text;
}

Failure MakeFailure(Cause cause, Request request, const CString& reply, const CString& fact) {
  Failure failure;
  failure.cause = cause;
  failure.request = request;
  failure.httpStatus = HttpStatusOf(reply);
  failure.detail = Describe(cause, request, fact);
  return failure;
}

// The exchanges of one procedure, with what a failure needs to know about them.
class Session {
 public:
  explicit Session(const CameraAccess& camera)
      : camera_(camera),
        address_(camera.address ? camera.address
                                : tw::IPv4Address::ParsePasted(camera.ip.GetString())),
        auth_(camera.auth ? *camera.auth : own_) {}

  const CString& reply() const { return reply_; }
  // Whether the deadline or the request's own limit ended the last exchange.
  bool cut() const { return cut_; }

  // One request, with the login the camera wants; the reply is kept for the readers and for
  // the failure.
  int Fetch(const char* path) {
    const std::int64_t start = tw::NowMs();
    AuthLimits limits;
    limits.timeoutMs = camera_.timeoutMs;
    limits.exchangeLimitMs = camera_.exchangeLimitMs;
    limits.deadlineAtMs = camera_.deadlineAtMs;
    const int got = HttpGetAuthorized(address_, camera_.port, camera_.user, camera_.password, path,
                                      reply_, limits, auth_, &cut_);
    tookMs_ = tw::NowMs() - start;
    return got;
  }

  bool Unauthorized() const { return HttpStatusOf(reply_) == 401; }

  // After Fetch returned 0.
  Failure NoAnswer(Request request) const {
    if (!address_ || !address_->IsDestination() || camera_.port < 0 || camera_.port > 65535) {
      CString typed;
      const CString text =
          camera_.address ? CString(camera_.address->ToString().c_str()) : Printable(camera_.ip);
      typed.Format("%s:%d", static_cast<const char*>(text), camera_.port);
      return Make(Cause::kBadAddress, request, typed);
    }
    if (cut_) return Make(Cause::kDeadline, request, CString());
    // A refusal or a close comes at once; a time-out only after a whole wait.
    if (tookMs_ < camera_.timeoutMs) return Make(Cause::kRefused, request, CString());
    CString limit;
    limit.Format("%d ms", camera_.timeoutMs);
    return Make(Cause::kTimedOut, request, limit);
  }

  // After the reply lacked "HTTP/1.1 200 OK".
  // A 401 is an answer to the login, however slowly it came.
  Failure Refused(Request request) const {
    const CString line = Printable(reply_);
    // A Digest challenge this program cannot answer is no wrong password: say so.
    if (!auth_.problem.empty()) {
      return Make(Cause::kUnauthorized, request,
                  line + " (" + CString(auth_.problem.c_str()) + ")");
    }
    return Make(Cause::kUnauthorized, request, line);
  }

  Failure BadStatus(Request request) const {
    if (cut_) return Make(Cause::kDeadline, request, Slow());
    const CString line = Printable(reply_);
    const int code = HttpStatusOf(reply_);
    if (code == 401) return Refused(request);
    if (reply_.IsEmpty()) return Make(Cause::kBadStatus, request, "empty reply" + Slow());
    if (line.IsEmpty()) {
      return Make(Cause::kBadStatus, request, "reply without a status line" + Slow());
    }
    if (code == 0) {
      return Make(Cause::kBadStatus, request, "not an HTTP reply: \"" + line + "\"" + Slow());
    }
    if (code == 200) return Make(Cause::kBadStatus, request, line + " instead of " + kHttp11Ok);
    return Make(Cause::kBadStatus, request, line + Slow());
  }

  // Whether the last reply ended at the deadline or in a silence of a whole wait, so that
  // what it lacks may just not have come yet.
  bool unfinished() const { return cut_ || tookMs_ >= camera_.timeoutMs; }

  // After an unfinished reply.
  Failure Unfinished(Request request) const {
    if (cut_) return Make(Cause::kDeadline, request, Slow());
    CString limit;
    limit.Format("%d ms", camera_.timeoutMs);
    return Make(Cause::kTimedOut, request, limit + Slow());
  }

  // A reply with the right status that lacks what the procedure reads: `what` names it.
  Failure Missing(Cause cause, Request request, const CString& what) const {
    if (cut_) return Make(Cause::kDeadline, request, Slow());
    CString fact = what;
    if (reply_.GetLength() >= kReplyLimit) {
      CString limit;
      limit.Format(" (only the first %d bytes of a reply are read)", kReplyLimit);
      fact += limit;
    }
    return Make(cause, request, fact + Slow());
  }

  Failure Make(Cause cause, Request request, const CString& fact) const {
    return MakeFailure(cause, request, reply_, fact);
  }

 private:
  // A reply that took a whole wait or more may have been ended by a silence, not by the
  // camera: say how little came in how long.
  CString Slow() const {
    CString why;
    if (tookMs_ >= camera_.timeoutMs || cut_) {
      why.Format(" (%d bytes in %d ms)", reply_.GetLength(), static_cast<int>(tookMs_));
    }
    return why;
  }

  const CameraAccess& camera_;
  const std::optional<tw::IPv4Address> address_;
  AuthMemory own_;
  AuthMemory& auth_;
  CString reply_;
  std::int64_t tookMs_ = 0;
  bool cut_ = false;
};

int ChipType(const CString& reply) {
  return CCgiCmd::GetVarInt(reply, "chip_type", 0);
}

bool IsSilentlyRefusedChip(int chip) {
  return chip == 70 || chip == 73 || chip == 74;
}

Failure ChipFailure(const InfoPage& page, int chip) {
  CString number;
  number.Format("%d", chip);
  return MakeFailure(Cause::kChipType, Request::kInfoPage, page.reply, number);
}

}  // namespace

const char* CauseName(Cause cause) {
  switch (cause) {
    case Cause::kNone:
      return "none";
    case Cause::kBadAddress:
      return "bad-address";
    case Cause::kRefused:
      return "refused";
    case Cause::kTimedOut:
      return "timed-out";
    case Cause::kDeadline:
      return "deadline";
    case Cause::kUnauthorized:
      return "unauthorized";
    case Cause::kBadStatus:
      return "bad-status";
    case Cause::kValuesMissing:
      return "values-missing";
    case Cause::kNoSucceed:
      return "no-succeed";
    case Cause::kChipType:
      return "chip-type";
    case Cause::kStopped:
      return "stopped";
    case Cause::kRestartsNotBack:
      return "restarts-not-back";
    case Cause::kCanaryFailed:
      return "canary-failed";
    case Cause::kMaxFailures:
      return "max-failures";
    case Cause::kNotApplied:
      return "not-applied";
  }
  return "?";
}

const char* RequestName(Request request) {
  switch (request) {
    case Request::kNone:
      return "";
    case Request::kInfoPage:
      return "information page";
    case Request::kGetMotorRange:
      return "getmotorrange";
    case Request::kSetMotorRange:
      return "setmotorrange";
  }
  return "?";
}

int HttpStatusOf(const CString& reply) {
  // "HTTP/1.x NNN": the version is left alone, the code must be three digits.
  if (reply.Find("HTTP/") != 0) return 0;
  const int space = reply.Find(' ');
  if (space < 0 || space > 12 || reply.GetLength() < space + 4) return 0;
  int code = 0;
  for (int i = space + 1; i < space + 4; ++i) {
    const char c = reply[i];
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  if (reply.GetLength() > space + 4 && reply[space + 4] != ' ' && reply[space + 4] != '\r') {
    return 0;
  }
  return code;
}

bool ValuesRead(const QueryResult& result) {
  return result.outcome == Outcome::kQueried && result.failure.cause == Cause::kNone &&
         result.flipFound && result.mirrorFound;
}

OutcomeMessage MessageFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::kQueried:
    case Outcome::kSetRefusedSilently:
      return {nullptr, nullptr, false};
    case Outcome::kSetSuccess:
      return {"Set success, camera rebooting.", "Info", false};
    case Outcome::kQueryInfoFailed:
      return {"Failed to query camera info", "Error", true};
    case Outcome::kCameraTypeError:
      return {"Query camera info - get camera type error", "Error", true};
    case Outcome::kDeviceTypeHV:
      return {"Device type error HV!", "Error", true};
    case Outcome::kDeviceTypeNVR:
      return {"Device type error NVR!", "Error", true};
    case Outcome::kSetFailed:
      return {"Failed to set new Camera PTZ", "Error", true};
  }
  return {nullptr, nullptr, false};
}

bool Succeeded(Outcome outcome) {
  return outcome == Outcome::kQueried || outcome == Outcome::kSetSuccess;
}

InfoPage ProbeInfoPage(const CameraAccess& camera) {
  InfoPage page;
  Session session(camera);
  if (!session.Fetch(kInfoPagePath)) {
    page.failure = session.NoAnswer(Request::kInfoPage);
    return page;
  }
  page.answered = true;
  page.reply = session.reply();
  const int status = HttpStatusOf(page.reply);
  // A page that names its chip counts even when cut off after the name; a 401 is an answer
  // to the login however slowly it came.
  if (status == 200 && Contains(page.reply, "var chip_type=")) {
    page.chipType = ChipType(page.reply);
  } else if (status == 401) {
    page.failure = session.Refused(Request::kInfoPage);
  } else if (session.unfinished()) {
    page.failure = session.Unfinished(Request::kInfoPage);
  } else if (status == 200) {
    page.failure = session.Missing(Cause::kValuesMissing, Request::kInfoPage, "chip_type");
  } else {
    page.failure = session.BadStatus(Request::kInfoPage);
  }
  return page;
}

QueryResult QueryOrientation(const CameraAccess& camera) {
  // The probe and getmotorrange share what the camera taught about its login.
  AuthMemory own;
  CameraAccess access = camera;
  if (access.auth == nullptr) access.auth = &own;
  return QueryOrientation(access, ProbeInfoPage(access));
}

QueryResult QueryOrientation(const CameraAccess& camera, const InfoPage& page) {
  QueryResult result;
  if (!page.answered) {
    result.outcome = Outcome::kQueryInfoFailed;
    result.failure = page.failure;
    return result;
  }
  // Asking getmotorrange with the refused login would cost the camera a second failed login.
  if (HttpStatusOf(page.reply) == 401) {
    result.outcome = Outcome::kQueryInfoFailed;
    result.failure = page.failure;
    return result;
  }
  Session session(camera);
  const CString& reply = session.reply();
  if (ProbeSucceeded(page.reply)) {
    const int chip = ChipType(page.reply);
    result.chipType = chip;
    if (IsSilentlyRefusedChip(chip) || chip == 72) {
      result.outcome = chip == 72 ? Outcome::kDeviceTypeHV : Outcome::kCameraTypeError;
      result.failure = ChipFailure(page, chip);
      return result;
    }
  }
  if (!session.Fetch(kGetMotorRangePath)) {
    result.outcome = Outcome::kDeviceTypeNVR;
    result.failure = session.NoAnswer(Request::kGetMotorRange);
    return result;
  }
  if (!Contains(reply, kHttp11Ok)) {
    result.outcome = Outcome::kQueryInfoFailed;
    result.failure = session.BadStatus(Request::kGetMotorRange);
    return result;
  }
  // The dialog ticks a box only for "1"; an absent value leaves it clear, which is no reading.
  const CString flip = CCgiCmd::GetVarString(reply, "flip", 0);
  const CString mirror = CCgiCmd::GetVarString(reply, "mirror", 0);
  result.flip = flip == "1" ? 1 : 0;
  result.mirror = mirror == "1" ? 1 : 0;
  result.flipFound = !flip.IsEmpty();
  result.mirrorFound = !mirror.IsEmpty();
  result.outcome = Outcome::kQueried;
  if (!result.flipFound || !result.mirrorFound || session.cut()) {
    const char* what = !result.flipFound && !result.mirrorFound ? "flip and no mirror value"
                       : !result.flipFound                      ? "flip value"
                                                                : "mirror value";
    result.failure = session.Missing(Cause::kValuesMissing, Request::kGetMotorRange, what);
    return result;
  }
  // Only "0" and "1" are values: anything else would read as "off" and hide what the camera
  // holds. The dialog still shows it as a clear box.
  for (const auto& [name, text] :
       {std::make_pair("flip", &flip), std::make_pair("mirror", &mirror)}) {
    if (*text == "0" || *text == "1") continue;
    result.failure = session.Make(Cause::kValuesMissing, Request::kGetMotorRange, CString());
    result.failure.detail.Format("%s is '%s', neither 0 nor 1", name,
                                 static_cast<const char*>(Printable(*text)));
    break;
  }
  return result;
}

Outcome SetOrientation(const CameraAccess& camera, int flip, int mirror, Failure* failure) {
  Failure unused;
  Failure& why = failure ? *failure : unused;
  why = Failure();
  // The probe and the set command share what the camera taught about its login.
  AuthMemory own;
  CameraAccess access = camera;
  if (access.auth == nullptr) access.auth = &own;
  const InfoPage page = ProbeInfoPage(access);
  if (page.answered && HttpStatusOf(page.reply) == 401) {
    why = page.failure;
    return Outcome::kSetFailed;
  }
  if (page.answered && ProbeSucceeded(page.reply)) {
    const int chip = ChipType(page.reply);
    if (chip == 72 || IsSilentlyRefusedChip(chip)) {
      why = ChipFailure(page, chip);
      return chip == 72 ? Outcome::kDeviceTypeHV : Outcome::kSetRefusedSilently;
    }
  }
  Session session(access);
  const CString& reply = session.reply();
  CString path;
  path.Format(kSetMotorRangeFormat, flip ? 1 : 0, mirror ? 1 : 0);
  if (!session.Fetch(path)) {
    why = session.NoAnswer(Request::kSetMotorRange);
    return Outcome::kDeviceTypeNVR;
  }
  if (!Contains(reply, kHttp11Ok)) {
    why = session.BadStatus(Request::kSetMotorRange);
    return Outcome::kSetFailed;
  }
  if (!Contains(reply, kSucceed)) {
    why = session.Missing(Cause::kNoSucceed, Request::kSetMotorRange, CString());
    return Outcome::kSetFailed;
  }
  return Outcome::kSetSuccess;
}
