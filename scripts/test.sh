#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what it needs, builds the Linux
# programs and runs every suite (the dialog under Xvfb included), builds and checks the Debian
# package (lintian), then the Windows build under Wine and a short bounded fuzzing run of the
# reply readers.
#   TILTWISE_SKIP_WINDOWS=1  leave out the Windows leg
#   FUZZ_SECONDS=N           fuzzing time in all (default 60; 0 leaves it out)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/deps.sh

cmake --preset default
cmake --build --preset default
ctest --preset default
scripts/check-package.sh

if [ "${TILTWISE_SKIP_WINDOWS:-0}" != 1 ]; then
  scripts/ci-windows.sh
fi
if [ "${FUZZ_SECONDS:-60}" != 0 ]; then
  fuzz/run.sh
fi
