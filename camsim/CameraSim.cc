#include "camsim/CameraSim.h"

#include <unistd.h>

#include <cerrno>

#include "camsim/LogWriter.h"
#include "camsim/SimulatorParts.h"
#include "camsim/Sockets.h"

namespace camsim {

using std::chrono::milliseconds;

std::string FormatRecord(const RequestRecord& r) {
  std::string line = (r.host.empty() ? std::to_string(r.port) : HostPort(r.host, r.port)) + ' ' +
                     r.method + ' ' + r.path + ' ' +
                     (r.status ? std::to_string(r.status) : std::string("-"));
  if (r.fault != Fault::kNone) line += std::string(" fault=") + FaultName(r.fault);
  if (r.scheme) line += std::string(" ") + r.scheme;
  return line;
}

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

CameraSimulator::CameraSimulator(SimulatorSetup setup) : CameraSimulator(std::move(setup.options)) {
  plan_ = std::move(setup.cameras);
}

CameraSimulator::~CameraSimulator() {
  Stop();
  CloseAll();
  CloseFd(&wake_read_);
  CloseFd(&wake_write_);
}

bool CameraSimulator::Listen(std::string* error) {
  if (wake_read_ < 0) {
    *error = "cannot create the wake-up pipe";
    return false;
  }
  if (!cameras_.empty()) {
    *error = "the simulator is already listening";
    return false;
  }
  if (plan_.empty()) {
    SimulatorSetup setup;
    if (!MakeSetup(options_, &setup, error)) return false;
    plan_ = std::move(setup.cameras);
  }
  long long limit = RaiseFileLimit();
  // Each camera holds a listener; leave room for connections and the process's own files.
  if (limit >= 0 && static_cast<long long>(plan_.size()) + 64 > limit) {
    *error = std::to_string(plan_.size()) + " cameras need more open files than the limit of " +
             std::to_string(limit) + " (see ulimit -n)";
    return false;
  }

  {
    std::lock_guard<std::mutex> lock(mu_);
    cameras_ = std::vector<Camera>(plan_.begin(), plan_.end());
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
    hosts_.push_back(c.address.text);
  }
  return true;
}

int CameraSimulator::OpenListener(Camera& camera, int port, std::string* error) {
  int fd = -1;
  int bound_port = 0;
  int err = camsim::OpenListener(camera.address, port, &fd, &bound_port, error);
  if (err != 0) return err;
  std::lock_guard<std::mutex> lock(mu_);
  camera.listen_fd = fd;
  camera.port = bound_port;
  return 0;
}

bool CameraSimulator::BindAll(std::string* error) {
  if (options_.address_per_camera) return BindAllOnePort(error);
  if (options_.port != 0) {
    for (size_t i = 0; i < cameras_.size(); ++i) {
      if (OpenListener(cameras_[i], cameras_[i].port, error) != 0) return false;
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
  if (!Listen(error)) return false;  // refuses a second start too
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
  if (options_.address_per_camera) record.host = camera.address.text;
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

void CameraSimulator::LogRestart(const Camera& camera, const char* what) {
  if (log_out_) log_out_->Add(HostPort(camera.address.text, camera.port) + " restart " + what);
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

}  // namespace camsim
