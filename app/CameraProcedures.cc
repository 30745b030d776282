#include "app/CameraProcedures.h"

#include "cgi/CgiCmd.h"
#include "cgi/net.h"

const char kInfoPagePath[] = "/qx.html";
const char kGetMotorRangePath[] = "/param.cgi?cmd=getmotorrange";
const char kSetMotorRangeFormat[] = "/param.cgi?cmd=setmotorrange&-flip=%d&-mirror=%d";

namespace {

const char kHttp11Ok[] = "HTTP/1.1 200 OK";
const char kHttp10Ok[] = "HTTP/1.0 200 OK";
const char kSucceed[] = "[Succeed]";

int Fetch(const CameraAccess& camera, const char* path, CString& reply) {
  if (camera.deadlineAtMs == 0) {
    return CCgiCmd::HttpGet(camera.ip, camera.port, camera.user, camera.password, path, reply,
                            camera.timeoutMs);
  }
  std::int64_t left = camera.deadlineAtMs - net::NowMs();
  if (left <= 0) {
    reply.Empty();
    return 0;
  }
  return CCgiCmd::HttpGet(camera.ip, camera.port, camera.user, camera.password, path, reply,
                          camera.timeoutMs, static_cast<int>(left));
}

bool Contains(const CString& text, const char* what) {
  return text.Find(what) >= 0;
}

// The probe's reply counts in either protocol version; the param.cgi replies only in 1.1.
bool ProbeSucceeded(const CString& reply) {
  return Contains(reply, kHttp11Ok) || Contains(reply, kHttp10Ok);
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
  CString reply;
  if (!Fetch(camera, kInfoPagePath, reply)) {
    result.outcome = Outcome::kQueryInfoFailed;
    return result;
  }
  if (ProbeSucceeded(reply)) {
    int chip = ChipType(reply);
    if (IsSilentlyRefusedChip(chip)) {
      result.outcome = Outcome::kCameraTypeError;
      return result;
    }
    if (chip == 72) {
      result.outcome = Outcome::kDeviceTypeHV;
      return result;
    }
  }
  if (!Fetch(camera, kGetMotorRangePath, reply)) {
    result.outcome = Outcome::kDeviceTypeNVR;
    return result;
  }
  if (!Contains(reply, kHttp11Ok)) {
    result.outcome = Outcome::kQueryInfoFailed;
    return result;
  }
  result.flip = CCgiCmd::GetVarString(reply, "flip", 0) == "1" ? 1 : 0;
  result.mirror = CCgiCmd::GetVarString(reply, "mirror", 0) == "1" ? 1 : 0;
  result.outcome = Outcome::kQueried;
  return result;
}

Outcome SetOrientation(const CameraAccess& camera, int flip, int mirror) {
  CString reply;
  if (Fetch(camera, kInfoPagePath, reply) && ProbeSucceeded(reply)) {
    int chip = ChipType(reply);
    if (chip == 72) return Outcome::kDeviceTypeHV;
    if (IsSilentlyRefusedChip(chip)) return Outcome::kSetRefusedSilently;
  }
  CString path;
  path.Format(kSetMotorRangeFormat, flip ? 1 : 0, mirror ? 1 : 0);
  if (!Fetch(camera, path, reply)) return Outcome::kDeviceTypeNVR;
  if (!Contains(reply, kHttp11Ok) || !Contains(reply, kSucceed)) return Outcome::kSetFailed;
  return Outcome::kSetSuccess;
}
