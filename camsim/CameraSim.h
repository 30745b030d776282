// CameraSimulator: one or many network cameras' web servers in one process, for tests, demos
// and benchmarks. A single-threaded poll() loop over non-blocking sockets; POSIX only. The
// options become cameras in Setup.h; the loop and its connections live in PollLoop.cc.
//
// In-process use from a test:
//
//   camsim::SimulatorOptions options;
//   options.port = 0;                      // the system picks a free port
//   camsim::CameraSimulator sim(options);
//   std::string error;
//   ASSERT_TRUE(sim.Start(&error)) << error;  // listening once this returns
//   ... talk to 127.0.0.1:sim.port() ...
//   // the destructor stops the loop and joins its thread
#ifndef TILTWISE_CAMSIM_CAMERASIM_H_
#define TILTWISE_CAMSIM_CAMERASIM_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "camsim/Setup.h"

namespace camsim {

class LogWriter;

// One handled connection, in the order the replies were composed.
struct RequestRecord {
  int port = 0;
  std::string method;  // "-" when no request was read (kClose)
  std::string path;    // the request target, non-printable bytes as '?'; "-" when none
  int status = 0;      // status code of the reply; 0 when none is sent
  Fault fault = Fault::kNone;
  std::string host;  // set with one camera per address
  // The login the request used ("basic", "digest", "none"); only for cameras that ask for
  // more than Basic, null otherwise.
  const char* scheme = nullptr;
};

// "8080 GET /qx.html 200"; a fault adds " fault=NAME" and a missing status shows as "-". With
// a host the line starts "127.0.0.5:8080". A scheme comes last: "8080 GET /qx.html 200 digest".
std::string FormatRecord(const RequestRecord& record);

struct CameraState {
  int flip = 0;
  int mirror = 0;
  bool listening = true;  // false while the camera restarts
};

class CameraSimulator {
 public:
  // Options are checked by Listen(); a setup from MakeSetup() was checked already.
  explicit CameraSimulator(SimulatorOptions options);
  explicit CameraSimulator(SimulatorSetup setup);
  // Stops and joins the loop when Start() ran it; closes every socket.
  ~CameraSimulator();
  CameraSimulator(const CameraSimulator&) = delete;
  CameraSimulator& operator=(const CameraSimulator&) = delete;

  // Checks the options unless the setup was made already, raises the open-file soft limit to the
  // hard limit, binds and listens on every camera's port. Once it returns true, ports() is valid
  // and connections are queued by the system. On failure nothing stays open and `error` says why.
  // Call once.
  bool Listen(std::string* error);
  // Runs the loop on the calling thread until RequestStop() or Stop(); closes all sockets
  // before returning. Requires a successful Listen().
  void Serve();
  // Listen() and then Serve() on a thread of its own.
  bool Start(std::string* error);
  // Asks the loop to end and returns at once. Async-signal-safe: callable from a signal handler.
  void RequestStop();
  // RequestStop(), then joins the thread of Start(). Idempotent. From a thread other than
  // the one in Serve(); with Serve() on a caller's thread it only requests the stop.
  void Stop();

  int port() const;  // the first camera's port (after Listen)
  const std::vector<int>& ports() const { return ports_; }
  const std::vector<std::string>& hosts() const { return hosts_; }  // each camera's address
  std::string address() const;  // "127.0.0.1:8080" or "[::1]:8080" of the first camera

  // The camera's current state; nullopt when no camera listens on `port`.
  std::optional<CameraState> state(int port) const;
  // Changes a running camera; false when there is no camera on `port`.
  bool SetState(int port, int flip, int mirror);
  bool SetFault(int port, Fault fault);
  bool SetChipType(int port, int chip_type);

  // Copies of the records kept so far, oldest first, and the number ever made.
  std::vector<RequestRecord> requests() const;
  size_t request_count() const;
  // Waits until at least `count` records were ever made; false when `timeout` ran out.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;

 private:
  struct Camera;
  struct Connection;

  int FindCamera(int port) const;  // index or -1; needs mu_
  bool BindAll(std::string* error);
  bool BindAllOnePort(std::string* error);
  // 0 or the errno of the failure, which `error` describes.
  int OpenListener(Camera& camera, int port, std::string* error);
  void Record(const Camera& camera, RequestRecord record);
  // "127.0.0.1:8081 restart begins" / "... restart ends", beside the request lines.
  void LogRestart(const Camera& camera, const char* what);
  // A line on standard error that never holds up the loop.
  void Warn(const std::string& text, int wait_ms = 0);
  void CloseAll();

  // The poll loop's side, in PollLoop.cc.
  void Accept(size_t camera_index, std::chrono::steady_clock::time_point now);
  void OnReadable(Connection& c, std::chrono::steady_clock::time_point now);
  void OnWritable(Connection& c, std::chrono::steady_clock::time_point now);
  void HandleRequest(Connection& c, const ParsedRequest& request,
                     std::chrono::steady_clock::time_point now);
  void StartReply(Connection& c, std::string reply, std::chrono::steady_clock::time_point now);
  void FinishReply(Connection& c, std::chrono::steady_clock::time_point now);
  // `asking` (may be null) keeps its connection; the camera's others are dropped.
  void Restart(size_t camera_index, const Connection* asking,
               std::chrono::steady_clock::time_point now);
  // The faults that play a set gone wrong; false when the connection gets no reply now.
  bool PlaySetFault(Connection& c, const Orientation& before, std::string* reply,
                    std::chrono::steady_clock::time_point now);
  void OnTimer(std::chrono::steady_clock::time_point now);

  SimulatorOptions options_;
  std::vector<CameraPlan> plan_;  // empty until the options are checked
  std::vector<int> ports_;
  std::vector<std::string> hosts_;
  int wake_read_ = -1;
  int wake_write_ = -1;
  std::atomic<bool> stop_requested_{false};
  std::thread thread_;
  std::unique_ptr<LogWriter> log_out_;  // standard output, while Serve() runs with print_requests
  std::chrono::steady_clock::time_point accept_paused_until_{};

  mutable std::mutex mu_;  // guards cameras_' settings and state, and the log
  mutable std::condition_variable log_cv_;
  std::vector<Camera> cameras_;
  std::vector<std::unique_ptr<Connection>> connections_;  // loop thread only
  std::deque<RequestRecord> log_;
  size_t log_total_ = 0;
};

}  // namespace camsim

#endif  // TILTWISE_CAMSIM_CAMERASIM_H_
