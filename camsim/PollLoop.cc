// The simulator's poll loop: accepting, reading, answering, restarting and timing out.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "camsim/CameraHttp.h"
#include "camsim/CameraSim.h"
#include "camsim/LogWriter.h"
#include "camsim/SimulatorParts.h"
#include "camsim/Sockets.h"

namespace camsim {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

// After a reply the peer gets this long to close its end before we drop the connection.
constexpr milliseconds kDrainTime{2000};
// When accept() runs out of descriptors, stop accepting this long instead of spinning.
constexpr milliseconds kAcceptPause{100};
constexpr milliseconds kRelistenRetry{500};
constexpr size_t kMaxAcceptsPerWake = 64;
constexpr milliseconds kResetDelay{100};
// At the stop, a log reader that is merely slow gets this long to take the rest.
constexpr int kLogDrainMs = 500;

}  // namespace

void CameraSimulator::Serve() {
  if (options_.print_requests && !log_out_) log_out_ = std::make_unique<LogWriter>(STDOUT_FILENO);
  std::vector<struct pollfd> fds;
  std::vector<size_t> listener_of;  // pollfd index - first_listener -> camera
  while (!stop_requested_.load()) {
    Clock::time_point now = Clock::now();
    OnTimer(now);

    fds.clear();
    listener_of.clear();
    fds.push_back({wake_read_, POLLIN, 0});
    bool log_waits = log_out_ && log_out_->pending();
    if (log_waits) fds.push_back({log_out_->fd(), POLLOUT, 0});
    size_t first_listener = fds.size();
    Clock::time_point next = kNever;
    bool accepting = now >= accept_paused_until_;
    if (!accepting) next = accept_paused_until_;
    for (size_t i = 0; i < cameras_.size(); ++i) {
      if (cameras_[i].listen_fd >= 0 && accepting) {
        fds.push_back({cameras_[i].listen_fd, POLLIN, 0});
        listener_of.push_back(i);
      }
      next = std::min({next, cameras_[i].relisten_at, cameras_[i].late_restart_at});
    }
    size_t first_connection = fds.size();
    for (const auto& c : connections_) {
      short events = c->phase == Connection::Phase::kWriting ? POLLOUT : POLLIN;
      fds.push_back({c->fd, events, 0});
      next = std::min(next, c->deadline);
    }

    int timeout = -1;
    if (next != kNever) {
      auto wait = std::chrono::ceil<milliseconds>(next - now).count();
      timeout = static_cast<int>(std::clamp<long long>(wait, 0, 60000));
    }
    int n = poll(fds.data(), static_cast<nfds_t>(fds.size()), timeout);
    if (n < 0) {
      if (errno == EINTR) continue;
      Warn("poll: " + ErrnoText(errno));
      break;
    }
    now = Clock::now();
    if (fds[0].revents) {
      char drain[64];
      while (read(wake_read_, drain, sizeof drain) > 0) {
      }
    }
    if (log_waits && fds[1].revents) log_out_->Flush();
    // Connections first: accepting appends to connections_ but keeps the indexes above.
    size_t count = fds.size() - first_connection;
    for (size_t k = 0; k < count; ++k) {
      short revents = fds[first_connection + k].revents;
      Connection& c = *connections_[k];
      if (!revents || c.fd < 0) continue;
      if (c.phase == Connection::Phase::kWriting) {
        OnWritable(c, now);
      } else {
        OnReadable(c, now);
      }
    }
    for (size_t k = 0; k < listener_of.size(); ++k) {
      if (fds[first_listener + k].revents) Accept(listener_of[k], now);
    }
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [](const auto& c) { return c->fd < 0; }),
                       connections_.end());
  }
  CloseAll();
  if (log_out_) {
    size_t dropped = log_out_->Finish(kLogDrainMs);
    if (dropped > 0) {
      Warn(std::to_string(dropped) + " log lines dropped: nothing read the output in time",
           kLogDrainMs);
    }
    log_out_.reset();
  }
}

void CameraSimulator::Accept(size_t camera_index, Clock::time_point now) {
  Camera& camera = cameras_[camera_index];
  for (size_t i = 0; i < kMaxAcceptsPerWake && camera.listen_fd >= 0; ++i) {
    int fd = accept(camera.listen_fd, nullptr, nullptr);
    if (fd < 0) {
      int err = errno;
      if (err == EINTR || err == ECONNABORTED) continue;
      if (err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM) {
        // The pending connection stays queued; try again after a pause instead of spinning.
        if (accept_paused_until_ + std::chrono::seconds(5) < now) {
          Warn("accept: " + ErrnoText(err));
        }
        accept_paused_until_ = now + kAcceptPause;
      }
      return;
    }
    SetCloseOnExec(fd);
    Fault fault;
    {
      std::lock_guard<std::mutex> lock(mu_);
      fault = camera.fault;
    }
    if (fault == Fault::kClose || !SetNonBlocking(fd)) {
      close(fd);
      if (fault == Fault::kClose) Record(camera, {0, "-", "-", 0, Fault::kClose, {}});
      continue;
    }
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->camera = camera_index;
    c->fault = fault;
    c->deadline = fault == Fault::kSilent ? kNever : now + options_.request_timeout;
    connections_.push_back(std::move(c));
  }
}

void CameraSimulator::OnReadable(Connection& c, Clock::time_point now) {
  char buf[4096];
  // Bounded, so a client that floods us cannot starve the others; poll brings us back.
  for (int reads = 0; reads < 16; ++reads) {
    size_t want = sizeof buf;
    if (c.phase == Connection::Phase::kReading) {
      want = std::min(want, options_.max_request_bytes + 1 - c.in.size());
    }
    ssize_t n = recv(c.fd, buf, want, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (!WouldBlock(errno)) CloseFd(&c.fd);
      return;
    }
    if (n == 0) {  // the peer closed: nothing more can be delivered
      CloseFd(&c.fd);
      return;
    }
    if (c.phase != Connection::Phase::kReading) continue;  // discard
    c.in.append(buf, static_cast<size_t>(n));
    ParsedRequest request;
    size_t header_length = 0;
    ParseStatus status = ParseRequest(c.in, &request, &header_length);
    if (status == ParseStatus::kIncomplete && c.in.size() <= options_.max_request_bytes) continue;
    if (status == ParseStatus::kComplete) {
      HandleRequest(c, request, now);
    } else if (c.fault == Fault::kSilent) {
      c.phase = Connection::Phase::kSilent;
    } else {
      Record(cameras_[c.camera], {0, "-", "-", 400, c.fault, {}});
      StartReply(c, BadRequestResponse(cameras_[c.camera].settings.http10), now);
    }
    c.in.clear();
    c.in.shrink_to_fit();
    if (c.fd < 0 || c.phase == Connection::Phase::kWriting) return;
  }
}

void CameraSimulator::HandleRequest(Connection& c, const ParsedRequest& request,
                                    Clock::time_point now) {
  Camera& camera = cameras_[c.camera];
  RequestRecord record{0, request.method, PrintableTarget(request.target), 0, c.fault, {}};
  if (c.fault == Fault::kSilent) {
    c.phase = Connection::Phase::kSilent;
    Record(camera, std::move(record));
    return;
  }
  Outcome outcome;
  Orientation before;
  if (options_.lockout_after > 0 && camera.failed_logins >= options_.lockout_after) {
    outcome.status = 403;
    outcome.reply = BuildResponse(camera.settings.http10, 403, "text/html", "403 Forbidden\r\n");
  } else {
    std::lock_guard<std::mutex> lock(mu_);
    CameraSettings settings = camera.settings;
    settings.oversize = c.fault == Fault::kOversize || c.fault == Fault::kTrickle;
    settings.no_values = c.fault == Fault::kNoValues;
    before = camera.orientation;
    const DigestContext digest{
        &camera.nonces,
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count(),
        options_.nonce_lifetime.count()};
    outcome = Respond(request, settings, &camera.orientation, &digest);
    if (settings.auth != AuthMode::kBasic) record.scheme = outcome.scheme;
    // Even a restart that takes no time forgets the nonces handed out before it.
    if (outcome.restart) camera.nonces.Clear();
    if (outcome.login == Login::kFailed) ++camera.failed_logins;
    if (outcome.login == Login::kPassed) camera.failed_logins = 0;
  }
  if (c.fault == Fault::kReset && outcome.motor_range) {
    outcome.reply.resize(outcome.reply.find("\r\n\r\n") + 4);
    c.reset_after_reply = true;
  }
  record.status = outcome.status;
  if (outcome.restart && c.fault == Fault::kDropSet) record.status = 0;
  Record(camera, std::move(record));
  if (outcome.restart && !PlaySetFault(c, before, &outcome.reply, now)) return;
  // Close the listener before the reply goes out, so a client that saw "[Succeed]" finds the
  // camera already gone.
  if (outcome.restart && c.fault != Fault::kForget &&
      (options_.reboot_time.count() > 0 || c.fault == Fault::kTwice)) {
    Restart(c.camera, &c, now);
  }
  StartReply(c, std::move(outcome.reply), now);
}

bool CameraSimulator::PlaySetFault(Connection& c, const Orientation& before, std::string* reply,
                                   Clock::time_point now) {
  Camera& camera = cameras_[c.camera];
  switch (c.fault) {
    case Fault::kDropSet:
      if (options_.reboot_time.count() > 0) Restart(c.camera, &c, now);
      CloseFd(&c.fd);
      return false;
    case Fault::kSlowSet:
      if (options_.reboot_time.count() > 0) Restart(c.camera, &c, now);
      c.out = std::move(*reply);
      c.phase = Connection::Phase::kHeld;
      c.deadline = now + options_.slow_reply;
      return false;
    case Fault::kForget:
      camera.late_values = before;
      camera.late_restart_at = now + options_.late_restart;
      return true;
    case Fault::kTwice: {
      std::lock_guard<std::mutex> lock(mu_);
      camera.late_values = camera.orientation;
      camera.on_return = before;
      camera.late_restart_at = now + options_.reboot_time + options_.late_restart;
      return true;
    }
    default:
      return true;
  }
}

void CameraSimulator::Restart(size_t camera_index, const Connection* asking,
                              Clock::time_point now) {
  Camera& camera = cameras_[camera_index];
  {
    std::lock_guard<std::mutex> lock(mu_);
    CloseFd(&camera.listen_fd);
  }
  camera.relisten_at = now + options_.reboot_time;
  camera.failed_logins = 0;
  LogRestart(camera, "begins");
  // A restarting camera drops its other connections; the one that asked gets its reply.
  for (auto& other : connections_) {
    if (other->camera == camera_index && other.get() != asking) CloseFd(&other->fd);
  }
}

void CameraSimulator::StartReply(Connection& c, std::string reply, Clock::time_point now) {
  c.out = std::move(reply);
  c.sent = 0;
  if (c.fault == Fault::kTrickle) {
    c.phase = Connection::Phase::kTrickle;
    c.deadline = now;  // the first byte goes out at once
    return;
  }
  c.phase = Connection::Phase::kWriting;
  c.deadline = now + options_.request_timeout;
  OnWritable(c, now);
}

void CameraSimulator::OnWritable(Connection& c, Clock::time_point now) {
  while (c.sent < c.out.size()) {
    ssize_t n = send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (!WouldBlock(errno)) CloseFd(&c.fd);  // the client went away mid-reply
      return;
    }
    c.sent += static_cast<size_t>(n);
  }
  FinishReply(c, now);
}

void CameraSimulator::FinishReply(Connection& c, Clock::time_point now) {
  if (c.reset_after_reply) {
    // Let the header reach the client before the reset, so it sees a reply cut short.
    c.phase = Connection::Phase::kResetting;
    c.deadline = now + kResetDelay;
    return;
  }
  // Half-close so the client sees the end at once, then read until it closes: closing with
  // unread input would reset the connection and could destroy the reply in flight.
  shutdown(c.fd, SHUT_WR);
  c.out.clear();
  c.out.shrink_to_fit();
  c.phase = Connection::Phase::kDraining;
  c.deadline = now + kDrainTime;
}

void CameraSimulator::OnTimer(Clock::time_point now) {
  for (auto& cp : connections_) {
    Connection& c = *cp;
    if (c.fd < 0 || now < c.deadline) continue;
    if (c.phase == Connection::Phase::kHeld) {
      StartReply(c, std::move(c.out), now);
      continue;
    }
    if (c.phase == Connection::Phase::kResetting) {
      struct linger abort = {1, 0};
      setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    if (c.phase != Connection::Phase::kTrickle) {
      CloseFd(&c.fd);  // request, reply or drain took too long, or the reset is due
      continue;
    }
    ssize_t n = send(c.fd, c.out.data() + c.sent, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && !WouldBlock(errno) && errno != EINTR) {
      CloseFd(&c.fd);
      continue;
    }
    if (n > 0) ++c.sent;
    if (c.sent == c.out.size()) {
      FinishReply(c, now);
    } else {
      c.deadline = now + options_.trickle_interval;
    }
  }
  for (size_t i = 0; i < cameras_.size(); ++i) {
    Camera& camera = cameras_[i];
    if (now >= camera.late_restart_at && camera.listen_fd >= 0) {
      camera.late_restart_at = kNever;
      camera.on_return = camera.late_values;
      camera.nonces.Clear();
      Restart(i, nullptr, now);
    }
    if (now < camera.relisten_at) continue;
    std::string error;
    if (OpenListener(camera, camera.port, &error) == 0) {
      camera.relisten_at = kNever;
      {
        std::lock_guard<std::mutex> lock(mu_);
        if (camera.on_return) camera.orientation = *camera.on_return;
        camera.on_return.reset();
      }
      LogRestart(camera, "ends");
    } else {
      Warn(error + "; trying again");
      camera.relisten_at = now + kRelistenRetry;
    }
  }
}

}  // namespace camsim
