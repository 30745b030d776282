// The simulator's setup: the options a test or the command line gives, checked once and laid
// out as the cameras the poll loop serves. No sockets, so every check is tested in-process.
#ifndef TILTWISE_CAMSIM_SETUP_H_
#define TILTWISE_CAMSIM_SETUP_H_

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/IPv4Address.h"
#include "camsim/CameraHttp.h"
#include "camsim/DigestAuth.h"

namespace camsim {

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

// The bounds of the options' numbers, which the command line reads with too.
struct NumberRange {
  long min;
  long max;
};
constexpr NumberRange kPortRange{0, 65535};
constexpr NumberRange kCameraCountRange{1, 65535};
constexpr NumberRange kSwitchRange{0, 1};  // flip, mirror
constexpr NumberRange kLockoutRange{0, 1000000};

// "--port: not a valid number: '70000' (expected 0..65535)".
std::string NumberError(std::string_view option, std::string_view text, NumberRange range);

// Where a camera listens, read once from its numeric text.
struct ListenAddress {
  std::optional<tw::IPv4Address> v4;  // empty for an IPv6 address
  std::array<unsigned char, 16> v6{};
  std::string text;  // numeric, without brackets

  // A dotted quad or a numeric IPv6 address; nullopt for a name or anything else.
  static std::optional<ListenAddress> Parse(const std::string& text);
};

// "127.0.0.1:8080" or "[::1]:8080".
std::string HostPort(const std::string& host, int port);

// One camera as it starts.
struct CameraPlan {
  ListenAddress address;
  int port = 0;  // 0 until bound when the system picks the ports
  CameraSettings settings;
  Fault fault = Fault::kNone;
  Orientation orientation;
};

struct SimulatorSetup {
  SimulatorOptions options;
  std::vector<CameraPlan> cameras;  // at least one once MakeSetup() accepted the options
};

// Checks the options and lays out the cameras with their overrides. On bad options returns
// false and a one-line `error` that names the command line's option at fault.
bool MakeSetup(SimulatorOptions options, SimulatorSetup* out, std::string* error);

}  // namespace camsim

#endif  // TILTWISE_CAMSIM_SETUP_H_
