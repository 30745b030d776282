// What the simulator keeps per camera and per connection: shared by its setup and listener half
// (CameraSim.cc) and its poll loop (PollLoop.cc), and by nothing else.
#ifndef TILTWISE_CAMSIM_SIMULATORPARTS_H_
#define TILTWISE_CAMSIM_SIMULATORPARTS_H_

#include <chrono>
#include <optional>
#include <string>

#include "camsim/CameraSim.h"

namespace camsim {

constexpr std::chrono::steady_clock::time_point kNever =
    std::chrono::steady_clock::time_point::max();

struct CameraSimulator::Camera {
  explicit Camera(const CameraPlan& plan)
      : address(plan.address),
        port(plan.port),
        settings(plan.settings),
        fault(plan.fault),
        orientation(plan.orientation) {}

  ListenAddress address;
  int port = 0;
  int listen_fd = -1;  // -1 while restarting; written under mu_
  CameraSettings settings;
  Fault fault = Fault::kNone;
  Orientation orientation;
  int failed_logins = 0;  // in a row; loop thread only
  std::chrono::steady_clock::time_point relisten_at = kNever;
  NonceBook nonces;  // loop thread only; a restart forgets them
  // kForget, kTwice: a restart of its own later, the values it comes back with, and the
  // values the restart now under way comes back with.
  std::chrono::steady_clock::time_point late_restart_at = kNever;
  Orientation late_values;
  std::optional<Orientation> on_return;
};

struct CameraSimulator::Connection {
  enum class Phase { kReading, kWriting, kTrickle, kDraining, kSilent, kResetting, kHeld };
  int fd = -1;  // -1 once closed; removed at the end of the loop pass
  size_t camera = 0;
  Fault fault = Fault::kNone;  // taken when accepted
  Phase phase = Phase::kReading;
  std::string in;
  std::string out;
  size_t sent = 0;
  bool reset_after_reply = false;  // kReset: the reply is only the header; reset after it
  std::chrono::steady_clock::time_point deadline = kNever;
};

}  // namespace camsim

#endif  // TILTWISE_CAMSIM_SIMULATORPARTS_H_
