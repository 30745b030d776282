// The Query and Set procedures without any window, and the information-page probe: the
// dialog's button handlers, the command-line tool and its scan run exactly this logic and show
// its outcomes in their own way.
#ifndef TILTWISE_CAMERA_CAMERAPROCEDURES_H_
#define TILTWISE_CAMERA_CAMERAPROCEDURES_H_

#include <cstdint>
#include <optional>

#include "base/CString.h"
#include "base/IPv4Address.h"

struct AuthMemory;

// Where and as whom to reach one camera.
struct CameraAccess {
  CString ip;  // dotted-quad IPv4 (blanks around it allowed), read once per procedure
  // An address read before (a camera list): the exchange takes it as it is, and `ip` is unused.
  std::optional<tw::IPv4Address> address;
  int port = 80;
  CString user;
  CString password;
  int timeoutMs = 3000;  // per socket wait, as the dialog passes it
  // Monotonic time (tw::NowMs) after which no exchange of this camera may go on; 0: none.
  std::int64_t deadlineAtMs = 0;
  // The longest any one request may take from connect to last byte; 0: no bound of its own.
  // With one, the connection attempt may take what is left of it rather than one wait.
  int exchangeLimitMs = 0;
  // What this camera taught about its login (Digest), owned by the caller and kept for its
  // run; null: the procedure learns it afresh and forgets it at its end.
  AuthMemory* auth = nullptr;
};

enum class Outcome {
  kQueried,             // Query read Flip and Mirror; no message
  kSetSuccess,          // "Set success, camera rebooting."
  kQueryInfoFailed,     // "Failed to query camera info"
  kCameraTypeError,     // "Query camera info - get camera type error"
  kDeviceTypeHV,        // "Device type error HV!"
  kDeviceTypeNVR,       // "Device type error NVR!"
  kSetFailed,           // "Failed to set new Camera PTZ"
  kSetRefusedSilently,  // Set met chip type 70, 73 or 74: stops without a message
};

// The message box an outcome shows; `text` is null for the two outcomes that show none.
struct OutcomeMessage {
  const char* text;
  const char* caption;
  bool isError;  // stop-sign icon and OK; otherwise OK with no icon
};
OutcomeMessage MessageFor(Outcome outcome);
bool Succeeded(Outcome outcome);

// The request a failure came from.
enum class Request { kNone, kInfoPage, kGetMotorRange, kSetMotorRange };

// Why a procedure failed, or why a value it read cannot be trusted.
enum class Cause {
  kNone,
  kBadAddress,     // not a strict dotted quad (or no valid port): nothing was sent
  kRefused,        // refused, or closed without a byte
  kTimedOut,       // no byte within one wait; for the probe also a reply that stalled
  kDeadline,       // the camera's deadline (or the request's own limit) cut the exchange off
  kUnauthorized,   // 401: wrong user name or password
  kBadStatus,      // another status, or not an HTTP reply
  kValuesMissing,  // a getmotorrange reply without flip or mirror; a page without chip_type
  kNoSucceed,      // a setmotorrange reply with 200 but without "[Succeed]"
  kChipType,       // a chip type the procedures refuse
  // Why a fleet tool started no set on a camera (the procedures never give these).
  kStopped,          // a stop was asked for
  kRestartsNotBack,  // every restarting place is held by cameras that did not come back
  kCanaryFailed,     // a camera failed while the canaries were verified
  kMaxFailures,      // enough cameras had failed
  kNotApplied,       // the camera came back from its restart with other values
};

const char* CauseName(Cause cause);        // "bad-address", "timed-out", "values-missing", ...
const char* RequestName(Request request);  // "information page", "getmotorrange", ...

struct Failure {
  Cause cause = Cause::kNone;
  Request request = Request::kNone;
  int httpStatus = 0;  // the reply's status code when it had one
  // One line for people, made from the above and what was seen: "getmotorrange: the reply
  // holds no mirror value". Empty when there is no failure.
  CString detail;
};

// The status code of a reply's first line ("HTTP/1.x NNN ..."), 0 when it has none.
int HttpStatusOf(const CString& reply);

struct QueryResult {
  Outcome outcome = Outcome::kQueryInfoFailed;
  int flip = 0;  // as the dialog shows them: 1 only for a value of exactly "1"
  int mirror = 0;
  bool flipFound = false;  // whether the getmotorrange reply held each value at all
  bool mirrorFound = false;
  int chipType = 0;  // from an information page answered with 200; 0 when not read
  // Set for every failure, and also with kQueried when a value was missing or an exchange was
  // cut off: then flip and mirror are what the dialog shows, not what the camera holds.
  Failure failure;
};

// Whether flip and mirror are both what the camera said: the only read a report may show.
bool ValuesRead(const QueryResult& result);

// A camera's information page, read once: the scan sorts devices by it, and the procedures
// take it instead of asking again.
struct InfoPage {
  bool answered = false;  // at least one byte came
  CString reply;          // what came, as far as it was read
  int chipType = 0;       // from a reply with status 200 that names it; 0 otherwise
  // None when the page named a chip type. Otherwise why not: no answer (bad-address, refused,
  // timed-out, deadline); unauthorized (401); deadline or timed-out for a reply cut off or
  // stalled; bad-status (another status, or not HTTP); values-missing (200 without chip_type).
  // With a cause, httpStatus is the reply's status (0 when it has none).
  Failure failure;
};

// One request for the information page.
InfoPage ProbeInfoPage(const CameraAccess& camera);

// Probes the information page, refuses chip types 70-74 as the dialog does, then reads
// `flip` and `mirror`. A 401 to the probe ends it: one refusal per login and command.
QueryResult QueryOrientation(const CameraAccess& camera);
// The same with the information page already read with this access: it is not asked again.
QueryResult QueryOrientation(const CameraAccess& camera, const InfoPage& page);

// Probes the information page (a failed probe is passed over, but a 401 ends the procedure
// with kSetFailed and nothing sent), refuses chip type 72 with a message and 70, 73, 74
// silently, then sends the set command with Flip and Mirror as 0 or 1.
// `failure`, when given, gets the cause of a failure (cleared on success).
Outcome SetOrientation(const CameraAccess& camera, int flip, int mirror,
                       Failure* failure = nullptr);

// The request paths, named once.
extern const char kInfoPagePath[];
extern const char kGetMotorRangePath[];
extern const char kSetMotorRangeFormat[];

#endif  // TILTWISE_CAMERA_CAMERAPROCEDURES_H_
