// What the site tests share: a folder of their own, removed with everything in it.
#ifndef TILTWISE_SITE_SITETESTSUPPORT_H_
#define TILTWISE_SITE_SITETESTSUPPORT_H_

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace site {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/tiltwise-site-test-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    path_ = made ? made : "";
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace site

#endif  // TILTWISE_SITE_SITETESTSUPPORT_H_
