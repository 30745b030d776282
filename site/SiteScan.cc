#include "site/SiteScan.h"

#include <optional>
#include <sstream>
#include <utility>

#include "fleet/Ranges.h"

namespace site {

bool ParseScanRequest(const std::string& text, std::vector<fleet::Endpoint>* endpoints,
                      size_t* addresses, std::string* error) {
  std::istringstream words(text);
  std::vector<fleet::AddressRange> ranges;
  std::vector<int> ports;
  for (std::string word; words >> word;) {
    if (word == "--port" || word == "-p" || word.rfind("--port=", 0) == 0) {
      std::string portText = word.size() > 7 ? word.substr(7) : "";
      if (word.size() <= 7 && !(words >> portText)) {
        *error = word + " needs the ports to try, such as 80,8080";
        return false;
      }
      std::vector<int> more;
      if (!fleet::ParsePortList(portText, &more, error)) return false;
      ports.insert(ports.end(), more.begin(), more.end());
      continue;
    }
    fleet::AddressRange range;
    if (!fleet::ParseRange(word, &range, error)) return false;
    ranges.push_back(range);
  }
  if (ranges.empty()) {
    *error = "no address range: give one such as 192.168.1.0/24 or 192.168.1.10-60";
    return false;
  }
  if (ports.empty()) ports.push_back(80);
  std::vector<std::uint32_t> hosts;
  if (!fleet::ExpandRanges(ranges, kMaxScanAddresses, &hosts, error)) return false;
  fleet::DropNonDestinations(&hosts);
  *addresses = hosts.size();
  endpoints->clear();
  for (std::uint32_t host : hosts) {
    for (int port : ports) endpoints->push_back({host, port});
  }
  return true;
}

bool IsListed(const fleet::ScanResult& r) {
  return r.kind == fleet::DeviceClass::kCamera || r.kind == fleet::DeviceClass::kAuthFailed;
}

void TakeScanResult(SiteRow& row, const fleet::ScanResult& r) {
  if (row.target.origin.empty()) {
    if (std::optional<tw::IPv4Address> address = tw::IPv4Address::Parse(r.host)) {
      row.target.address = *address;
    }
    row.target.port = r.port;
    row.target.origin = "scan";
  }
  if (r.login > 0) row.target.login = r.login;
  if (r.auth == "digest") row.target.digest = true;
  if (!r.user.empty()) row.target.user = r.user;
  row.target.status = fleet::DeviceClassName(r.kind);
  row.status = row.target.status;
  row.chip = r.chipType ? std::to_string(*r.chipType) : "";
  if (r.flip && r.mirror) {
    row.now = fleet::Orientation{*r.flip, *r.mirror};
  } else {
    row.now.reset();
  }
  row.outcome = "found";
  row.cause = r.detail;
}

}  // namespace site
