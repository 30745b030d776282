#include "app/CameraProcedures.h"

#include "base/Clock.h"
#include "cgi/CgiCmd.h"
#include "cgi/net.h"

const char kInfoPagePath[] = "/qx.html";
const char kGetMotorRangePath[] = "/param.cgi?cmd=getmotorrange";
const char kSetMotorRangeFormat[] = "/param.cgi?cmd=setmotorrange&-flip=%d&-mirror=%d";
const char kDeadlineDetail[] = "deadline reached during ";

namespace {

const char kHttp11Ok[] = "HTTP/1.1 200 OK";
const char kHttp10Ok[] = "HTTP/1.0 200 OK";
const char kSucceed[] = "[Succeed]";
const int kReplyLimit = 2048;  // what HttpGet keeps of a reply

// The requests as details name them.
const char kInfoPageName[] = "information page";
const char kGetMotorRangeName[] = "getmotorrange";
const char kSetMotorRangeName[] = "setmotorrange";

bool Contains(const CString& text, const char* what) {
  return text.Find(what) >= 0;
}

// The probe's reply counts in either protocol version; the param.cgi replies only in 1.1.
bool ProbeSucceeded(const CString& reply) {
  return Contains(reply, kHttp11Ok) || Contains(reply, kHttp10Ok);
}

// The reply's first line, printable and short enough to show beside a message.
CString StatusLine(const CString& reply) {
  const int kMaxShown = 80;
  CString line;
  for (int i = 0; i < reply.GetLength(); ++i) {
    const char c = reply[i];
    if (c == '\r' || c == '\n') break;
    if (line.GetLength() == kMaxShown) {
      line += "...";
      break;
    }
    line += c >= 0x20 && c < 0x7f ? c : '?';
  }
  return line;
}

// The exchanges of one procedure, with what a failure detail needs to know about them.
class Session {
 public:
  explicit Session(const CameraAccess& camera) : camera_(camera) {}

  const CString& reply() const { return reply_; }

  // One request; the reply is kept for the readers and for the details.
  int Fetch(const char* name, const char* path) {
    const std::int64_t start = tw::NowMs();
    int got = 0;
    if (camera_.deadlineAtMs == 0) {
      got = CCgiCmd::HttpGet(camera_.ip, camera_.port, camera_.user, camera_.password, path, reply_,
                             camera_.timeoutMs);
    } else if (camera_.deadlineAtMs - start > 0) {
      got = CCgiCmd::HttpGet(camera_.ip, camera_.port, camera_.user, camera_.password, path, reply_,
                             camera_.timeoutMs, static_cast<int>(camera_.deadlineAtMs - start));
    } else {
      reply_.Empty();
    }
    const std::int64_t end = tw::NowMs();
    tookMs_ = end - start;
    // Every later request fails for it too, so the first one it cut off is the one to name.
    if (!cutOff_ && camera_.deadlineAtMs != 0 && end >= camera_.deadlineAtMs) cutOff_ = name;
    return got;
  }

  // After Fetch returned 0 for `name`.
  CString NoAnswer(const char* name) const {
    if (cutOff_) return CString(kDeadlineDetail) + cutOff_;
    std::uint32_t address = 0;
    if (!net::ParseIPv4(camera_.ip, &address)) {
      return CString(name) + ": \"" + StatusLine(camera_.ip) +
             "\" is not a dotted-quad IPv4 address";
    }
    // A refusal or a close comes at once; a time-out only after a whole wait.
    if (tookMs_ < camera_.timeoutMs) {
      return CString(name) + ": no answer: connection refused or closed without a reply";
    }
    CString why;
    why.Format("%s: no answer: timed out after %d ms", name, camera_.timeoutMs);
    return why;
  }

  // After the reply to `name` lacked "HTTP/1.1 200 OK".
  CString BadStatus(const char* name) const {
    if (cutOff_) return CString(kDeadlineDetail) + cutOff_;
    const CString line = StatusLine(reply_);
    const CString why = CString(name) + ": ";
    if (reply_.IsEmpty()) return why + "empty reply" + Slow();
    if (line.IsEmpty()) return why + "reply without a status line" + Slow();
    if (line.Find("HTTP/") != 0) return why + "not an HTTP reply: \"" + line + "\"" + Slow();
    const int space = line.Find(' ');
    const CString code = space < 0 ? CString() : line.Mid(space + 1, 3);
    if (code == "401") return why + line + ": wrong user name or password";
    if (code == "200") return why + line + " instead of " + kHttp11Ok;
    return why + line + Slow();
  }

  // After a reply to `name` with the right status lacked `what`.
  CString Missing(const char* name, const char* what) const {
    if (cutOff_) return CString(kDeadlineDetail) + cutOff_;
    CString why;
    why.Format("%s: no %s in the reply", name, what);
    if (reply_.GetLength() >= kReplyLimit) {
      why.AppendFormat(" (only its first %d bytes are read)", kReplyLimit);
    }
    return why + Slow();
  }

 private:
  // A reply that took a whole wait or more may have been ended by a silence, not by the
  // camera: say how little came in how long.
  CString Slow() const {
    CString why;
    if (tookMs_ >= camera_.timeoutMs) {
      why.Format(" (%d bytes in %d ms)", reply_.GetLength(), static_cast<int>(tookMs_));
    }
    return why;
  }

  const CameraAccess& camera_;
  CString reply_;
  std::int64_t tookMs_ = 0;
  const char* cutOff_ = nullptr;  // the first request the deadline ended or kept from starting
};

CString ChipDetail(int chip) {
  CString why;
  why.Format("%s: chip type %d", kInfoPageName, chip);
  return why;
}

int ChipType(const CString& reply) {
  return CCgiCmd::GetVarInt(reply, "chip_type", 0);
}

bool IsSilentlyRefusedChip(int chip) {
  return chip == 70 || chip == 73 || chip == 74;
}

}  // namespace

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

QueryResult QueryOrientation(const CameraAccess& camera) {
  QueryResult result;
  Session session(camera);
  const CString& reply = session.reply();
  if (!session.Fetch(kInfoPageName, kInfoPagePath)) {
    result.outcome = Outcome::kQueryInfoFailed;
    result.detail = session.NoAnswer(kInfoPageName);
    return result;
  }
  if (ProbeSucceeded(reply)) {
    int chip = ChipType(reply);
    if (IsSilentlyRefusedChip(chip) || chip == 72) {
      result.outcome = chip == 72 ? Outcome::kDeviceTypeHV : Outcome::kCameraTypeError;
      result.detail = ChipDetail(chip);
      return result;
    }
  }
  if (!session.Fetch(kGetMotorRangeName, kGetMotorRangePath)) {
    result.outcome = Outcome::kDeviceTypeNVR;
    result.detail = session.NoAnswer(kGetMotorRangeName);
    return result;
  }
  if (!Contains(reply, kHttp11Ok)) {
    result.outcome = Outcome::kQueryInfoFailed;
    result.detail = session.BadStatus(kGetMotorRangeName);
    return result;
  }
  result.flip = CCgiCmd::GetVarString(reply, "flip", 0) == "1" ? 1 : 0;
  result.mirror = CCgiCmd::GetVarString(reply, "mirror", 0) == "1" ? 1 : 0;
  result.outcome = Outcome::kQueried;
  return result;
}

Outcome SetOrientation(const CameraAccess& camera, int flip, int mirror, CString* detail) {
  CString unused;
  CString& why = detail ? *detail : unused;
  why.Empty();
  Session session(camera);
  const CString& reply = session.reply();
  if (session.Fetch(kInfoPageName, kInfoPagePath) && ProbeSucceeded(reply)) {
    int chip = ChipType(reply);
    if (chip == 72 || IsSilentlyRefusedChip(chip)) {
      why = ChipDetail(chip);
      return chip == 72 ? Outcome::kDeviceTypeHV : Outcome::kSetRefusedSilently;
    }
  }
  CString path;
  path.Format(kSetMotorRangeFormat, flip ? 1 : 0, mirror ? 1 : 0);
  if (!session.Fetch(kSetMotorRangeName, path)) {
    why = session.NoAnswer(kSetMotorRangeName);
    return Outcome::kDeviceTypeNVR;
  }
  if (!Contains(reply, kHttp11Ok)) {
    why = session.BadStatus(kSetMotorRangeName);
    return Outcome::kSetFailed;
  }
  if (!Contains(reply, kSucceed)) {
    why = session.Missing(kSetMotorRangeName, kSucceed);
    return Outcome::kSetFailed;
  }
  return Outcome::kSetSuccess;
}
