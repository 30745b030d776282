// CameraSimulator: one or many network cameras' web servers in one process, for tests, demos
// and benchmarks. A single-threaded poll() loop over non-blocking sockets; POSIX only.
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

#include "camsim/DigestAuth.h"

namespace camsim {

struct ParsedRequest;
struct Orientation;
class LogWriter;

// Misbehaviour of one camera, for testing clients.
//  kSilent:   accepts and reads the request, never answers, keeps the connection until the
//             client closes it (no time limit). The request changes nothing.
//  kClose:    accepts and closes at once without reading or sending a byte.
//  kTrickle:  handles the request normally but sends the reply, padded to about 8 KiB, one
//             byte per trickle interval (1 s by default).
//  kOversize: handles the request normally; every reply body starts with 8 KiB of filler, so
//             the content lies beyond the first 2048 bytes.
//  kNoValues: getmotorrange answers "200 OK" with a plain page that holds neither flip nor
//             mirror; every other request is answered normally.
//  kReset:    getmotorrange sends the status line and headers of its reply, then resets the
//             connection (SO_LINGER 0) instead of sending the values; other requests are normal.
// Cameras whose set goes wrong after it was taken (the other requests are normal):
//  kDropSet:  applies a set and restarts, but closes the connection without a reply.
//  kSlowSet:  applies a set and restarts, but replies only after `slow_reply`.
//  kForget:   applies a set and answers with the new values, restarts only `late_restart`
//             later and comes back with the old ones.
//  kTwice:    comes back from the set's restart with the old values, restarts again
//             `late_restart` later and comes back with the new ones.
enum class Fault {
  kNone,
  kSilent,
  kClose,
  kTrickle,
  kOversize,
  kNoValues,
  kReset,
  kDropSet,
  kSlowSet,
  kForget,
  kTwice
};

// "none", "silent", "close", "trickle", "oversize", "novalues", "reset", "dropset", "slowset",
// "forget", "twice".
const char* FaultName(Fault fault);
// Parses one of the names above; false for anything else.
bool ParseFault(std::string_view name, Fault* fault);

// Names one camera of the simulator: by its port, or by its 0-based place among the cameras
// (needed when the system picks the ports).
struct CameraSelector {
  bool by_index = false;
  int value = 0;
};

// Settings of one camera that differ from the shared ones. Unset fields keep the shared value;
// when several overrides name the same camera, later ones win field by field.
struct CameraOverride {
  CameraSelector camera;
  std::optional<Fault> fault;
  std::optional<int> chip_type;
  std::optional<std::string> user;
  std::optional<std::string> password;
  std::optional<AuthMode> auth = std::nullopt;
};

struct SimulatorOptions {
  std::string bind_address = "127.0.0.1";  // numeric IPv4 or IPv6 address
  // First camera's port; camera i listens on port + i. 0: the system picks (for a fleet, a
  // run of consecutive free ports).
  int port = 8080;
  int cameras = 1;
  // Camera i listens on the i-th IPv4 address from bind_address instead, every camera on
  // `port` (0: one port the system picks that is free on every address). Cameras can then
  // only be named by index, and the state accessors by port find none when there are several.
  bool address_per_camera = false;
  // Shared starting values of every camera.
  std::string user = "admin";
  std::string password = "quillpen";
  int chip_type = 71;
  int flip = 0;
  int mirror = 0;
  bool info_page = true;  // false: "/qx.html" answers 404
  bool http10 = false;    // status lines say HTTP/1.0
  // getmotorrange shows these texts as the values when not empty ("2", "on", " 1").
  std::string flip_text{};
  std::string mirror_text{};
  // After a successful setmotorrange the camera refuses connections this long (listener
  // closed), then listens again. 0: no interruption.
  std::chrono::milliseconds reboot_time{0};
  // After this many failed logins in a row a camera answers every request with 403, right
  // credentials or not, until it restarts. A request without credentials is no failed login.
  // 0: never.
  int lockout_after = 0;
  // What the cameras ask for. Basic sent to a camera that wants Digest is a failed login.
  AuthMode auth = AuthMode::kBasic;
  // Digest nonces older than this are answered with stale=true.
  std::chrono::milliseconds nonce_lifetime{300000};
  std::vector<CameraOverride> overrides;

  // One line per request (FormatRecord) and per restart to stdout, never waiting for the reader:
  // lines it does not take are dropped, and their number goes to stderr at the stop.
  bool print_requests = false;
  size_t log_capacity = 100000;  // request records kept in memory; the oldest are dropped
  // A connection must deliver its request header within this time, the reply must be taken
  // within it too; otherwise the connection is closed.
  std::chrono::milliseconds request_timeout{10000};
  size_t max_request_bytes = 8192;  // larger request headers get 400
  std::chrono::milliseconds trickle_interval{1000};
  std::chrono::milliseconds slow_reply{5000};    // kSlowSet
  std::chrono::milliseconds late_restart{2000};  // kForget, kTwice
};

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
  explicit CameraSimulator(SimulatorOptions options);
  // Stops and joins the loop when Start() ran it; closes every socket.
  ~CameraSimulator();
  CameraSimulator(const CameraSimulator&) = delete;
  CameraSimulator& operator=(const CameraSimulator&) = delete;

  // Checks the options, raises the open-file soft limit to the hard limit, binds and listens
  // on every camera's port. Once it returns true, ports() is valid and connections are
  // queued by the system. On failure nothing stays open and `error` says why. Call once.
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
  void Record(const Camera& camera, RequestRecord record);
  // "127.0.0.1:8081 restart begins" / "... restart ends", beside the request lines.
  void LogRestart(const Camera& camera, const char* what);
  // A line on standard error that never holds up the loop.
  void Warn(const std::string& text, int wait_ms = 0);
  void CloseAll();

  SimulatorOptions options_;
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
