// The cameras a run works on: where each one is, as whom to log in, and, when a target list
// says so, the Flip and Mirror it should end up with.
#ifndef TILTWISE_FLEET_TARGETS_H_
#define TILTWISE_FLEET_TARGETS_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fleet {

// A wanted Flip or Mirror: on, off, or whatever the camera holds now.
enum class Want { kOff, kOn, kKeep };

struct Target {
  std::string host;  // dotted-quad IPv4, canonical form
  int port = 80;
  std::optional<std::string> user;  // from the list; otherwise the --user value
  std::optional<Want> flip;         // wanted values from the list; none: the option's
  std::optional<Want> mirror;
  std::string origin;  // where it was named, for messages: "cameras.csv:12" or "argument 2"
  // Carried into the reports so a filed report still says which camera it was.
  std::string name;
  std::string location;
  std::string status{};  // what a scan found here ("camera", "no-answer", ...); empty: not said
  // restore: the values the earlier set sent, when its report says.
  std::optional<bool> sentFlip{};
  std::optional<bool> sentMirror{};
  // The login that worked here (a scan's `login`, a report's), from 1; none: try them in order.
  std::optional<int> login{};
  bool digest = false;  // the camera wants Digest: never send it Basic
};

// Strict dotted-quad IPv4 (tw::IPv4Address, as the exchange reads it): four decimal numbers
// 0-255, no signs, no spaces, no leading zeros (which some readers take as octal). Writes the
// text back unchanged.
bool ParseDottedQuad(std::string_view text, std::string* canonical);

// ParseDottedQuad, and an address that can name one camera (tw::IPv4Address::IsDestination). On
// failure `error` says which of the two it is not.
bool ParseCameraAddress(std::string_view text, std::string* canonical, std::string* error);

// A decimal port 1-65535.
bool ParsePort(std::string_view text, int* port);

// "ADDRESS" or "ADDRESS:PORT" (port 80 by default). On failure `error` says what is wrong.
bool ParseTarget(std::string_view text, Target* target, std::string* error);

// "on"/"off" and the usual synonyms (1/0, yes/no, true/false), any case.
bool ParseOnOff(std::string_view text, bool* value);
// ParseOnOff, or "keep".
bool ParseWant(std::string_view text, Want* want);

// One error text per camera named more than once ("a.csv:7: 10.0.0.5:80 is also on a.csv:3"):
// a camera set twice would restart twice, and two runs at once would race.
std::vector<std::string> FindDuplicates(const std::vector<Target>& targets);

}  // namespace fleet

#endif  // TILTWISE_FLEET_TARGETS_H_
