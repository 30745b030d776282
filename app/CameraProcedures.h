// The Query and Set procedures without any window: the dialog's button handlers and the
// command-line tool run exactly this logic and show its outcomes in their own way.
#ifndef TILTWISE_APP_CAMERAPROCEDURES_H_
#define TILTWISE_APP_CAMERAPROCEDURES_H_

#include <cstdint>

#include "base/CString.h"

// Where and as whom to reach one camera.
struct CameraAccess {
  CString ip;  // dotted-quad IPv4, passed unchanged to the exchange
  int port = 80;
  CString user;
  CString password;
  int timeoutMs = 3000;  // per socket wait, as the dialog passes it
  // Monotonic time (net::NowMs) after which no exchange of this camera may go on; 0: none.
  std::int64_t deadlineAtMs = 0;
  // Whole-exchange bound of each request, in milliseconds; 0: none.
  int exchangeLimitMs = 0;
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

struct QueryResult {
  Outcome outcome = Outcome::kQueryInfoFailed;
  int flip = 0;  // meaningful only when outcome is kQueried
  int mirror = 0;
  // Why a failure came about, for callers that can show more than the fixed text: the request
  // that decided it and what went wrong ("getmotorrange: HTTP/1.1 401 Unauthorized: wrong user
  // name or password"). Empty on success.
  CString detail;
};

// Probes the information page, refuses chip types 70-74 as the dialog does, then reads
// `flip` and `mirror`: each is 1 only when the camera's value is exactly "1".
QueryResult QueryOrientation(const CameraAccess& camera);

// Probes the information page (a failed probe is passed over), refuses chip type 72 with a
// message and 70, 73, 74 silently, then sends the set command with Flip and Mirror as 0 or 1.
// `detail`, when given, gets the cause of a failure as in QueryResult (emptied on success).
Outcome SetOrientation(const CameraAccess& camera, int flip, int mirror, CString* detail = nullptr);

// How every detail that blames the deadline begins; the request it cut off follows.
extern const char kDeadlineDetail[];

// The request paths, named once.
extern const char kInfoPagePath[];
extern const char kGetMotorRangePath[];
extern const char kSetMotorRangeFormat[];

#endif  // TILTWISE_APP_CAMERAPROCEDURES_H_
