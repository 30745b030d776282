// The words of a report: what was done to a camera and how it ended.
#include "fleet/Runner.h"

namespace fleet {

const char* ActionName(Action action) {
  switch (action) {
    case Action::kQuery:
      return "query";
    case Action::kSet:
      return "set";
    case Action::kSkip:
      return "skip";
    case Action::kDryRun:
      return "dry-run";
  }
  return "?";
}

const char* StatusName(Status status) {
  switch (status) {
    case Status::kQueried:
      return "queried";
    case Status::kSetSuccess:
      return "set";
    case Status::kAlreadySet:
      return "already-set";
    case Status::kAlreadyRestored:
      return "already-restored";
    case Status::kWouldSet:
      return "would-set";
    case Status::kWouldKeep:
      return "no-change";
    case Status::kQueryInfoFailed:
      return "query-info-failed";
    case Status::kCameraTypeError:
      return "camera-type-error";
    case Status::kDeviceTypeHV:
      return "device-type-hv";
    case Status::kDeviceTypeNVR:
      return "device-type-nvr";
    case Status::kSetFailed:
      return "set-failed";
    case Status::kSetRefused:
      return "set-refused";
    case Status::kNotApplied:
      return "not-applied";
    case Status::kNoAnswerAfterRestart:
      return "no-answer-after-restart";
    case Status::kVerifyInterrupted:
      return "verify-interrupted";
    case Status::kNotStarted:
      return "not-started";
    case Status::kNotRead:
      return "not-read";
    case Status::kInterrupted:
      return "interrupted";
  }
  return "?";
}

bool IsSuccess(Status status) {
  switch (status) {
    case Status::kQueried:
    case Status::kSetSuccess:
    case Status::kAlreadySet:
    case Status::kAlreadyRestored:
    case Status::kWouldSet:
    case Status::kWouldKeep:
      return true;
    default:
      return false;
  }
}

Status StatusFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::kQueried:
      return Status::kQueried;
    case Outcome::kSetSuccess:
      return Status::kSetSuccess;
    case Outcome::kQueryInfoFailed:
      return Status::kQueryInfoFailed;
    case Outcome::kCameraTypeError:
      return Status::kCameraTypeError;
    case Outcome::kDeviceTypeHV:
      return Status::kDeviceTypeHV;
    case Outcome::kDeviceTypeNVR:
      return Status::kDeviceTypeNVR;
    case Outcome::kSetFailed:
      return Status::kSetFailed;
    case Outcome::kSetRefusedSilently:
      return Status::kSetRefused;
  }
  return Status::kSetFailed;
}

std::string DetailFor(const Failure& failure) {
  std::string detail = failure.detail.str();
  const size_t chip = detail.find("chip type ");
  if (failure.cause != Cause::kChipType || chip == std::string::npos) return detail;
  // The dialog's own words ("Device type error HV!") stay in the message.
  return detail.substr(chip) + ": this model's orientation cannot be set with this tool";
}

std::string RunSummary(const std::vector<CameraReport>& reports, std::int64_t elapsedMs) {
  size_t ok = 0;
  size_t notStarted = 0;
  for (const CameraReport& r : reports) {
    if (r.ok) ++ok;
    if (r.status == Status::kNotStarted) ++notStarted;
  }
  std::string text = std::to_string(reports.size()) +
                     (reports.size() == 1 ? " camera: " : " cameras: ") + std::to_string(ok) +
                     " ok, " + std::to_string(reports.size() - ok) + " failed";
  if (notStarted > 0) text += " (" + std::to_string(notStarted) + " not started)";
  const std::int64_t tenths = (elapsedMs + 50) / 100;
  return text + ", " + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

}  // namespace fleet
