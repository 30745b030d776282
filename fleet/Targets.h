// The cameras a run works on: where each one is, as whom to log in, and, when a target list
// says so, the Flip and Mirror it should end up with.
#ifndef TILTWISE_FLEET_TARGETS_H_
#define TILTWISE_FLEET_TARGETS_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/IPv4Address.h"

namespace fleet {

// A wanted Flip or Mirror: on, off, or whatever the camera holds now.
enum class Want { kOff, kOn, kKeep };

// Columns of a list the tool has no use for, as the list had them (name, value), in its order:
// reports carry them, so a site's own notes stay with each camera.
using Cells = std::vector<std::pair<std::string, std::string>>;

struct Target {
  tw::IPv4Address address;
  int port = 80;
  std::optional<std::string> user;  // from the list; otherwise the --user value
  std::optional<Want> flip;         // wanted values from the list; none: the option's
  std::optional<Want> mirror;
  std::string origin;  // where it was named, for messages: "cameras.csv:12" or "argument 2"
  // Carried into the reports so a filed report still says which camera it was.
  std::string name;
  std::string location;
  std::string status{};  // what a scan found here ("camera", "no-answer", ...); empty: not said
  Cells extra{};
  // A report's "index": the place in the list of the run that wrote it, which the report's
  // own order (as cameras finished) lost; 0 when not said.
  size_t listIndex = 0;
  // restore: the values the earlier set sent, when its report says.
  std::optional<bool> sentFlip{};
  std::optional<bool> sentMirror{};
  // The login that worked here (a scan's `login`, a report's), from 1; none: try them in order.
  std::optional<int> login{};
  bool digest = false;  // the camera wants Digest: never send it Basic
};

// A strict dotted-quad IPv4 address (tw::IPv4Address::Parse: no signs, no spaces, no leading
// zeros, which some readers take as octal) that can name one camera (IsDestination): read here
// once, and carried typed to the exchange. On failure `error` is `notDottedQuad` when the text
// is none, otherwise `prefix` and why the address names no camera.
bool ParseCameraAddress(std::string_view text, tw::IPv4Address* address,
                        const std::string& notDottedQuad, const std::string& prefix,
                        std::string* error);

// A decimal port 1-65535.
bool ParsePort(std::string_view text, int* port);

// "ADDRESS" or "ADDRESS:PORT" (port 80 by default). On failure `error` says what is wrong.
bool ParseTarget(std::string_view text, Target* target, std::string* error);

// "on"/"off" and the usual synonyms (1/0, yes/no, true/false), any case.
bool ParseOnOff(std::string_view text, bool* value);
// ParseOnOff, or "keep".
bool ParseWant(std::string_view text, Want* want);

// Sorts targets[from...] by their listIndex when every one of them has one; otherwise leaves
// them as they are.
void SortByListIndex(std::vector<Target>* targets, size_t from = 0);

// The names of every target's extra columns, each once, in the order they first appear.
std::vector<std::string> ExtraColumnNames(const std::vector<Target>& targets);

// One error text per camera named more than once ("a.csv:7: 10.0.0.5:80 is also on a.csv:3"):
// a camera set twice would restart twice, and two runs at once would race.
std::vector<std::string> FindDuplicates(const std::vector<Target>& targets);

}  // namespace fleet

#endif  // TILTWISE_FLEET_TARGETS_H_
