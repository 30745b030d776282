// Finding cameras: a sweep of non-blocking connects over every address and port, then, for the
// ones that accept, the information page with each credential set and the orientation read.
// No output of its own: results go to a sink as they are known.
#ifndef TILTWISE_FLEET_SCAN_H_
#define TILTWISE_FLEET_SCAN_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "camera/CameraProcedures.h"
#include "fleet/Logins.h"

namespace fleet {

// kNoReply: accepted the connection, then no usable reply within the limits (silent, closed at
// once, trickling past the deadline), as a camera in the middle of a restart does. kNoAnswer:
// nothing accepted the connection.
enum class DeviceClass { kCamera, kAuthFailed, kNotACamera, kNoReply, kNoAnswer };
// "camera", "auth-failed", "not-a-camera", "no-reply", "no-answer".
const char* DeviceClassName(DeviceClass kind);

struct Endpoint {
  std::uint32_t address = 0;  // host byte order
  int port = 80;
};

struct ScanResult {
  size_t index = 0;  // place among the endpoints
  std::string host;
  int port = 0;
  DeviceClass kind = DeviceClass::kNoAnswer;
  std::string user;       // the credential set that worked
  int login = 0;          // its number, from 1
  std::string auth;       // "basic" or "digest" for a device that asked for a login
  std::string algorithm;  // the Digest algorithm it offered ("MD5", "SHA-256", ...)
  std::optional<int> chipType;
  // Only from a read the values can be trusted from (both found, nothing cut off).
  std::optional<bool> flip;
  std::optional<bool> mirror;
  Cause cause = Cause::kNone;
  Request request = Request::kNone;  // the request the cause came from
  int httpStatus = 0;
  std::string detail;
  std::int64_t elapsedMs = 0;
  // The probe could not open a socket of its own: no fact about the device at all.
  bool localLimit = false;
};

struct ScanOptions {
  std::vector<Credential> credentials;  // tried in this order, each at most once per device
  int jobs = 64;                        // devices probed at once
  int timeoutMs = 3000;                 // the connect limit, and each wait of an exchange
  int deadlineMs = 10000;               // all exchanges with one device together
  // Connects in flight at once; 0: as many as the open-file limit leaves room for.
  size_t maxInFlight = 0;
  bool keepNoAnswer = false;  // report and return no-answer results too
  // Once set, RunScan returns at once with what it has; probes under way are left running,
  // so the caller ends the process without returning.
  const std::atomic<bool>* hardStop = nullptr;
};

struct ScanProgress {
  size_t total = 0;  // endpoints
  size_t swept = 0;  // connects that ended
  size_t open = 0;   // ... with a connection
  size_t probed = 0;
  size_t cameras = 0;
  size_t authFailed = 0;
  size_t notACamera = 0;
  size_t noReply = 0;
  size_t noAnswer = 0;
  // This machine's limits (open files, buffers) kept these endpoints from being tried or
  // probed to the end; `localError` says what it was. The run's error, not the devices'.
  size_t localFailures = 0;
  std::string localError;
  bool stopping = false;
  std::int64_t elapsedMs = 0;
};

// Probes one endpoint that accepted a connection, and classifies it.
ScanResult ProbeDevice(const Endpoint& endpoint, const ScanOptions& options);

// Scans every endpoint. Once `stop` is set no further connect or probe starts; probes under
// way finish, and endpoints not done are left out. With few files to open, fewer connects and
// probes are kept in flight. `onResult` sees each result once, one call
// at a time, as it is known (no-answer ones only with keepNoAnswer). `onTick` is called on the
// calling thread about every `tickMs`, and once at the end. Returns the results in endpoint
// order, and the counts in `progress`.
std::vector<ScanResult> RunScan(const std::vector<Endpoint>& endpoints, const ScanOptions& options,
                                const std::atomic<bool>& stop,
                                const std::function<void(const ScanResult&)>& onResult,
                                const std::function<void(const ScanProgress&)>& onTick,
                                ScanProgress* progress, int tickMs = 200);

}  // namespace fleet

#endif  // TILTWISE_FLEET_SCAN_H_
