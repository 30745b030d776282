// What the site window's Scan... takes and what it makes of a found device.
#ifndef TILTWISE_SITE_SITESCAN_H_
#define TILTWISE_SITE_SITESCAN_H_

#include <string>
#include <vector>

#include "fleet/Scan.h"
#include "site/SiteRows.h"

namespace site {

// The most addresses one scan may hold, as tiltwise-cli scan's default.
constexpr std::uint64_t kMaxScanAddresses = 65536;

// "192.168.1.0/24 10.0.0.5-20 --port 80,8080" as tiltwise-cli scan takes its ranges and ports
// (port 80 when none are given): every address and port to try. False with `error` set.
bool ParseScanRequest(const std::string& text, std::vector<fleet::Endpoint>* endpoints,
                      size_t* addresses, std::string* error);

// Whether a found device belongs in the list: a camera, or one no login opened.
bool IsListed(const fleet::ScanResult& result);

// A found device into its row (a new one: no origin yet).
void TakeScanResult(SiteRow& row, const fleet::ScanResult& result);

}  // namespace site

#endif  // TILTWISE_SITE_SITESCAN_H_
