#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Safe to run again:
# it only calls apt-get when something is missing. Needs root (or sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build clang clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcurl4-openssl-dev libcli11-dev nlohmann-json3-dev
  libfltk1.3-dev libssl-dev
  lighttpd apache2-bin  # real Digest servers for the login tests, on loopback
  xvfb xauth xdotool x11-utils imagemagick
  nginx-light apache2-utils curl python3 procps
  nmap  # only the baseline of bench/scan_bench.sh
  dpkg-dev file fonts-dejavu-core help2man lintian
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
