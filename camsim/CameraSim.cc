#include "camsim/CameraSim.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "camsim/CameraHttp.h"
#include "camsim/LogWriter.h"

namespace camsim {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr Clock::time_point kNever = Clock::time_point::max();
// After a reply the peer gets this long to close its end before we drop the connection.
constexpr milliseconds kDrainTime{2000};
// When accept() runs out of descriptors, stop accepting this long instead of spinning.
constexpr milliseconds kAcceptPause{100};
constexpr milliseconds kRelistenRetry{500};
constexpr size_t kMaxAcceptsPerWake = 64;
constexpr milliseconds kResetDelay{100};
// At the stop, a log reader that is merely slow gets this long to take the rest.
constexpr int kLogDrainMs = 500;

std::string ErrnoText(int err) {
  return std::strerror(err);
}

bool SetNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void SetCloseOnExec(int fd) {
  fcntl(fd, F_SETFD, FD_CLOEXEC);
}

void CloseFd(int* fd) {
  if (*fd >= 0) {
    close(*fd);
    *fd = -1;
  }
}

bool WouldBlock(int err) {
  return err == EAGAIN || err == EWOULDBLOCK;
}

// Raises the open-file soft limit to the hard limit: a fleet of a thousand cameras needs more
// descriptors than the usual soft limit of 1024. Returns the limit now in force.
rlim_t RaiseFileLimit() {
  struct rlimit lim;
  if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return 1024;
  if (lim.rlim_cur != lim.rlim_max) {
    struct rlimit raised = lim;
    raised.rlim_cur = lim.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) return raised.rlim_cur;
  }
  return lim.rlim_cur;
}

struct BindAddress {
  int family = AF_INET;
  struct sockaddr_storage storage {};
  socklen_t length = 0;
};

bool ParseBindAddress(const std::string& text, BindAddress* out) {
  std::memset(&out->storage, 0, sizeof out->storage);
  auto* v4 = reinterpret_cast<struct sockaddr_in*>(&out->storage);
  if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    out->family = AF_INET;
    out->length = sizeof(struct sockaddr_in);
    return true;
  }
  auto* v6 = reinterpret_cast<struct sockaddr_in6*>(&out->storage);
  if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    out->family = AF_INET6;
    out->length = sizeof(struct sockaddr_in6);
    return true;
  }
  return false;
}

// "127.0.0.1:8080" or "[::1]:8080".
std::string HostPort(const std::string& host, int port) {
  bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

void SetPort(BindAddress* a, int port) {
  if (a->family == AF_INET) {
    reinterpret_cast<struct sockaddr_in*>(&a->storage)->sin_port =
        htons(static_cast<uint16_t>(port));
  } else {
    reinterpret_cast<struct sockaddr_in6*>(&a->storage)->sin6_port =
        htons(static_cast<uint16_t>(port));
  }
}

}  // namespace

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kNone:
      return "none";
    case Fault::kSilent:
      return "silent";
    case Fault::kClose:
      return "close";
    case Fault::kTrickle:
      return "trickle";
    case Fault::kOversize:
      return "oversize";
    case Fault::kNoValues:
      return "novalues";
    case Fault::kReset:
      return "reset";
    case Fault::kDropSet:
      return "dropset";
    case Fault::kSlowSet:
      return "slowset";
    case Fault::kForget:
      return "forget";
    case Fault::kTwice:
      return "twice";
  }
  return "none";
}

bool ParseFault(std::string_view name, Fault* fault) {
  for (Fault f : {Fault::kNone, Fault::kSilent, Fault::kClose, Fault::kTrickle, Fault::kOversize,
                  Fault::kNoValues, Fault::kReset, Fault::kDropSet, Fault::kSlowSet, Fault::kForget,
                  Fault::kTwice}) {
    if (name == FaultName(f)) {
      *fault = f;
      return true;
    }
  }
  return false;
}

std::string FormatRecord(const RequestRecord& r) {
  std::string line = (r.host.empty() ? std::to_string(r.port) : HostPort(r.host, r.port)) + ' ' +
                     r.method + ' ' + r.path + ' ' +
                     (r.status ? std::to_string(r.status) : std::string("-"));
  if (r.fault != Fault::kNone) line += std::string(" fault=") + FaultName(r.fault);
  if (r.scheme) line += std::string(" ") + r.scheme;
  return line;
}

struct CameraSimulator::Camera {
  std::string host;  // the numeric address it listens on
  int port = 0;
  int listen_fd = -1;  // -1 while restarting; written under mu_
  CameraSettings settings;
  Fault fault = Fault::kNone;
  Orientation orientation;
  int failed_logins = 0;  // in a row; loop thread only
  Clock::time_point relisten_at = kNever;
  NonceBook nonces;  // loop thread only; a restart forgets them
  // kForget, kTwice: a restart of its own later, the values it comes back with, and the
  // values the restart now under way comes back with.
  Clock::time_point late_restart_at = kNever;
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
  Clock::time_point deadline = kNever;
};

CameraSimulator::CameraSimulator(SimulatorOptions options) : options_(std::move(options)) {
  int fds[2];
  if (pipe(fds) == 0) {
    wake_read_ = fds[0];
    wake_write_ = fds[1];
    for (int fd : fds) {
      SetNonBlocking(fd);
      SetCloseOnExec(fd);
    }
  }
}

CameraSimulator::~CameraSimulator() {
  Stop();
  CloseAll();
  CloseFd(&wake_read_);
  CloseFd(&wake_write_);
}

bool CameraSimulator::Listen(std::string* error) {
  const SimulatorOptions& o = options_;
  if (wake_read_ < 0) {
    *error = "cannot create the wake-up pipe";
    return false;
  }
  if (!cameras_.empty()) {
    *error = "the simulator is already listening";
    return false;
  }
  if (o.cameras < 1 || o.cameras > 65535) {
    *error = "the number of cameras must be between 1 and 65535";
    return false;
  }
  if (o.port < 0 || o.port > 65535) {
    *error = "the port must be between 0 and 65535";
    return false;
  }
  if (o.port != 0 && !o.address_per_camera && o.port + o.cameras - 1 > 65535) {
    *error = "ports " + std::to_string(o.port) + ".." + std::to_string(o.port + o.cameras - 1) +
             " go beyond 65535";
    return false;
  }
  if (o.lockout_after < 0) {
    *error = "the lockout count may not be negative";
    return false;
  }
  if ((o.flip != 0 && o.flip != 1) || (o.mirror != 0 && o.mirror != 1)) {
    *error = "flip and mirror must be 0 or 1";
    return false;
  }
  if (o.reboot_time.count() < 0 || o.request_timeout.count() <= 0 ||
      o.trickle_interval.count() <= 0 || o.max_request_bytes == 0) {
    *error = "times must be positive (the restart time may be 0)";
    return false;
  }
  BindAddress address;
  if (!ParseBindAddress(o.bind_address, &address)) {
    *error = "not a numeric IPv4 or IPv6 address: " + o.bind_address;
    return false;
  }
  uint32_t first_host = 0;
  if (o.address_per_camera) {
    if (address.family != AF_INET) {
      *error = "one camera per address needs an IPv4 address, not " + o.bind_address;
      return false;
    }
    first_host = ntohl(reinterpret_cast<struct sockaddr_in*>(&address.storage)->sin_addr.s_addr);
    if (0xffffffffu - first_host < static_cast<uint32_t>(o.cameras - 1)) {
      *error = std::to_string(o.cameras) + " addresses from " + o.bind_address +
               " go beyond 255.255.255.255";
      return false;
    }
  }

  std::vector<Camera> cameras(static_cast<size_t>(o.cameras));
  for (size_t i = 0; i < cameras.size(); ++i) {
    Camera& c = cameras[i];
    c.host = o.bind_address;
    if (o.address_per_camera) {
      struct in_addr a;
      a.s_addr = htonl(first_host + static_cast<uint32_t>(i));
      char text[INET_ADDRSTRLEN];
      inet_ntop(AF_INET, &a, text, sizeof text);
      c.host = text;
    }
    c.settings.chip_type = o.chip_type;
    c.settings.user = o.user;
    c.settings.password = o.password;
    c.settings.info_page = o.info_page;
    c.settings.http10 = o.http10;
    c.settings.auth = o.auth;
    c.settings.flip_text = o.flip_text;
    c.settings.mirror_text = o.mirror_text;
    c.orientation = {o.flip, o.mirror};
  }
  for (const CameraOverride& ov : o.overrides) {
    int index = ov.camera.value;
    if (!ov.camera.by_index) {
      if (o.address_per_camera && o.cameras > 1) {
        *error = "camera " + std::to_string(ov.camera.value) +
                 ": with one camera per address all share the port; name cameras by index (@N)";
        return false;
      }
      if (o.port == 0) {
        *error = "camera " + std::to_string(ov.camera.value) +
                 ": with ports picked by the system, name cameras by index (@N)";
        return false;
      }
      index = ov.camera.value - o.port;
    }
    if (index < 0 || index >= o.cameras) {
      *error = ov.camera.by_index ? "no camera with index " + std::to_string(ov.camera.value)
                                  : "no camera on port " + std::to_string(ov.camera.value);
      return false;
    }
    Camera& c = cameras[static_cast<size_t>(index)];
    if (ov.fault) c.fault = *ov.fault;
    if (ov.chip_type) c.settings.chip_type = *ov.chip_type;
    if (ov.user) c.settings.user = *ov.user;
    if (ov.password) c.settings.password = *ov.password;
    if (ov.auth) c.settings.auth = *ov.auth;
  }

  rlim_t limit = RaiseFileLimit();
  // Each camera holds a listener; leave room for connections and the process's own files.
  if (limit != RLIM_INFINITY && static_cast<rlim_t>(o.cameras) + 64 > limit) {
    *error = std::to_string(o.cameras) + " cameras need more open files than the limit of " +
             std::to_string(static_cast<unsigned long long>(limit)) + " (see ulimit -n)";
    return false;
  }

  {
    std::lock_guard<std::mutex> lock(mu_);
    cameras_ = std::move(cameras);
  }
  if (!BindAll(error)) {
    std::lock_guard<std::mutex> lock(mu_);
    for (Camera& c : cameras_) CloseFd(&c.listen_fd);
    cameras_.clear();
    return false;
  }
  ports_.clear();
  hosts_.clear();
  for (Camera& c : cameras_) {
    c.settings.port = c.port;
    ports_.push_back(c.port);
    hosts_.push_back(c.host);
  }
  return true;
}

int CameraSimulator::OpenListener(Camera& camera, int port, std::string* error) {
  BindAddress address;
  ParseBindAddress(camera.host, &address);
  SetPort(&address, port);
  int fd = socket(address.family, SOCK_STREAM, 0);
  if (fd < 0) {
    int err = errno;
    *error = "socket: " + ErrnoText(err);
    return err;
  }
  SetCloseOnExec(fd);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(fd, reinterpret_cast<struct sockaddr*>(&address.storage), address.length) != 0 ||
      listen(fd, SOMAXCONN) != 0 || !SetNonBlocking(fd)) {
    int err = errno;
    close(fd);
    *error =
        "cannot listen on " + camera.host + " port " + std::to_string(port) + ": " + ErrnoText(err);
    return err;
  }
  struct sockaddr_storage bound {};
  socklen_t length = sizeof bound;
  getsockname(fd, reinterpret_cast<struct sockaddr*>(&bound), &length);
  int actual =
      ntohs(bound.ss_family == AF_INET ? reinterpret_cast<struct sockaddr_in*>(&bound)->sin_port
                                       : reinterpret_cast<struct sockaddr_in6*>(&bound)->sin6_port);
  std::lock_guard<std::mutex> lock(mu_);
  camera.listen_fd = fd;
  camera.port = actual;
  return 0;
}

bool CameraSimulator::BindAll(std::string* error) {
  if (options_.address_per_camera) return BindAllOnePort(error);
  if (options_.port != 0) {
    for (size_t i = 0; i < cameras_.size(); ++i) {
      if (OpenListener(cameras_[i], options_.port + static_cast<int>(i), error) != 0) return false;
    }
    return true;
  }
  // Let the system pick a free port, then take the ones after it. Past a port that is in
  // use (other programs' listeners, lingering closed connections) start over behind it,
  // wrapping around once to the first unprivileged port.
  if (OpenListener(cameras_[0], 0, error) != 0) return false;
  const int n = static_cast<int>(cameras_.size());
  int base = cameras_[0].port;
  int bound = 1;
  bool wrapped = false;
  auto release = [this, &bound] {
    std::lock_guard<std::mutex> lock(mu_);
    for (int i = 0; i < bound; ++i) CloseFd(&cameras_[static_cast<size_t>(i)].listen_fd);
    bound = 0;
  };
  while (bound < n) {
    if (bound == 0 && base + n - 1 > 65535) {
      if (wrapped) break;
      wrapped = true;
      base = 1024;
    }
    int err = OpenListener(cameras_[static_cast<size_t>(bound)], base + bound, error);
    if (err == 0) {
      ++bound;
    } else if (err == EADDRINUSE || err == EACCES) {
      int next = base + bound + 1;
      release();
      base = next;
    } else {
      release();
      return false;
    }
  }
  if (bound == n) return true;
  *error = "found no run of " + std::to_string(n) + " free consecutive ports";
  return false;
}

bool CameraSimulator::BindAllOnePort(std::string* error) {
  auto release = [this] {
    std::lock_guard<std::mutex> lock(mu_);
    for (Camera& c : cameras_) CloseFd(&c.listen_fd);
  };
  // With port 0 the system picks a port for the first address; another program may hold it
  // on a later one, so pick again a few times.
  for (int attempt = 0; attempt < (options_.port == 0 ? 32 : 1); ++attempt) {
    int port = options_.port;
    int err = 0;
    for (Camera& c : cameras_) {
      err = OpenListener(c, port, error);
      if (err != 0) break;
      port = c.port;
    }
    if (err == 0) return true;
    release();
    if (err != EADDRINUSE) return false;
  }
  return false;
}

bool CameraSimulator::Start(std::string* error) {
  if (thread_.joinable()) {
    *error = "the simulator is already running";
    return false;
  }
  if (!Listen(error)) return false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void CameraSimulator::RequestStop() {
  stop_requested_.store(true);
  if (wake_write_ >= 0) {
    int saved = errno;
    ssize_t ignored = write(wake_write_, "x", 1);
    (void)ignored;  // a full pipe already wakes the loop
    errno = saved;
  }
}

void CameraSimulator::Stop() {
  RequestStop();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

int CameraSimulator::port() const {
  return ports_.empty() ? 0 : ports_.front();
}

std::string CameraSimulator::address() const {
  return HostPort(hosts_.empty() ? options_.bind_address : hosts_.front(), port());
}

int CameraSimulator::FindCamera(int port) const {
  if (ports_.empty() || (options_.address_per_camera && ports_.size() > 1)) return -1;
  long index = static_cast<long>(port) - ports_.front();
  if (index >= 0 && index < static_cast<long>(ports_.size()) && ports_[index] == port) {
    return static_cast<int>(index);
  }
  return -1;
}

std::optional<CameraState> CameraSimulator::state(int port) const {
  std::lock_guard<std::mutex> lock(mu_);
  int i = FindCamera(port);
  if (i < 0) return std::nullopt;
  const Camera& c = cameras_[static_cast<size_t>(i)];
  return CameraState{c.orientation.flip, c.orientation.mirror, c.listen_fd >= 0};
}

bool CameraSimulator::SetState(int port, int flip, int mirror) {
  std::lock_guard<std::mutex> lock(mu_);
  int i = FindCamera(port);
  if (i < 0) return false;
  cameras_[static_cast<size_t>(i)].orientation = {flip ? 1 : 0, mirror ? 1 : 0};
  return true;
}

bool CameraSimulator::SetFault(int port, Fault fault) {
  std::lock_guard<std::mutex> lock(mu_);
  int i = FindCamera(port);
  if (i < 0) return false;
  cameras_[static_cast<size_t>(i)].fault = fault;
  return true;
}

bool CameraSimulator::SetChipType(int port, int chip_type) {
  std::lock_guard<std::mutex> lock(mu_);
  int i = FindCamera(port);
  if (i < 0) return false;
  cameras_[static_cast<size_t>(i)].settings.chip_type = chip_type;
  return true;
}

std::vector<RequestRecord> CameraSimulator::requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return {log_.begin(), log_.end()};
}

size_t CameraSimulator::request_count() const {
  std::lock_guard<std::mutex> lock(mu_);
  return log_total_;
}

bool CameraSimulator::WaitForRequests(size_t count, milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mu_);
  return log_cv_.wait_for(lock, timeout, [&] { return log_total_ >= count; });
}

void CameraSimulator::Record(const Camera& camera, RequestRecord record) {
  record.port = camera.port;
  if (options_.address_per_camera) record.host = camera.host;
  if (log_out_) log_out_->Add(FormatRecord(record));
  {
    std::lock_guard<std::mutex> lock(mu_);
    ++log_total_;
    if (options_.log_capacity > 0) {
      log_.push_back(std::move(record));
      while (log_.size() > options_.log_capacity) log_.pop_front();
    }
  }
  log_cv_.notify_all();
}

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

void CameraSimulator::LogRestart(const Camera& camera, const char* what) {
  if (log_out_) log_out_->Add(HostPort(camera.host, camera.port) + " restart " + what);
}

void CameraSimulator::Warn(const std::string& text, int wait_ms) {
  WriteNoWait(STDERR_FILENO, "tiltwise-camsim: " + text + "\n", wait_ms);
}

void CameraSimulator::CloseAll() {
  for (auto& c : connections_) CloseFd(&c->fd);
  connections_.clear();
  std::lock_guard<std::mutex> lock(mu_);
  for (Camera& c : cameras_) {
    CloseFd(&c.listen_fd);
    c.relisten_at = kNever;
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
