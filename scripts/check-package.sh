#!/usr/bin/env bash
# Builds the Debian package from the release preset, installs it into a scratch folder with
# `cmake --install` as well, and checks both: the programs, man pages, bash completion, icons
# and copyright are where they belong, and lintian reports no error.
#
#   scripts/check-package.sh
# Exit 0 when everything passed, 1 otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

for tool in lintian dpkg-deb help2man; do
  command -v "$tool" >/dev/null || { echo "check-package: $tool is missing" >&2; exit 1; }
done

cmake --preset release >/dev/null
cmake --build --preset release
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install build/release --prefix "$stage/usr" >/dev/null
(cd build/release && cpack -G DEB >/dev/null)
deb=$(ls -t build/release/tiltwise_*.deb | head -n1)

want=(
  usr/bin/tiltwise usr/bin/tiltwise-site usr/bin/tiltwise-cli usr/bin/tiltwise-camsim
  usr/share/man/man1/tiltwise-site.1.gz usr/share/applications/tiltwise-site.desktop
  usr/share/man/man1/tiltwise.1.gz usr/share/man/man1/tiltwise-cli.1.gz
  usr/share/man/man1/tiltwise-camsim.1.gz usr/share/doc/tiltwise/changelog.gz
  usr/share/man/man1/tiltwise-cli-query.1.gz usr/share/man/man1/tiltwise-cli-set.1.gz
  usr/share/man/man1/tiltwise-cli-restore.1.gz usr/share/man/man1/tiltwise-cli-scan.1.gz
  usr/share/bash-completion/completions/tiltwise-cli
  usr/share/applications/tiltwise.desktop usr/share/doc/tiltwise/copyright
  usr/share/icons/hicolor/16x16/apps/tiltwise.png usr/share/icons/hicolor/32x32/apps/tiltwise.png
  usr/share/icons/hicolor/48x48/apps/tiltwise.png usr/share/icons/hicolor/256x256/apps/tiltwise.png
)
listing=$(dpkg-deb --contents "$deb")
status=0
for path in "${want[@]}"; do
  [[ -e $stage/$path ]] || { echo "check-package: cmake --install left out /$path" >&2; status=1; }
  grep -q " \./$path\$" <<<"$listing" || { echo "check-package: $deb lacks /$path" >&2; status=1; }
done
if strings "$stage/usr/bin/tiltwise" | grep -q TILTWISE_DUMP_LAYOUT; then
  echo "check-package: the packaged dialog program carries the layout test hook" >&2
  status=1
fi
# What the completion offers after a line typed so far (in a folder holding one file).
complete_after() {
  mkdir -p "$stage/typing" && touch "$stage/typing/site.csv"
  (cd "$stage/typing" && bash -c '
    source ../usr/share/bash-completion/completions/tiltwise-cli
    COMP_WORDS=($1 ""); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tiltwise_cli
    echo "${COMPREPLY[*]}"' _ "$1")
}
for check in "tiltwise-cli set --flip|on off keep" "tiltwise-cli set 127.0.0.1 --mirror|on off keep" \
             "tiltwise-cli scan|" "tiltwise-cli scan 127.0.0.0/30|" \
             "tiltwise-cli query --input|site.csv" "tiltwise-cli scan --credentials|site.csv"; do
  got=$(complete_after "${check%%|*}")
  [[ $got == "${check#*|}" ]] ||
    { echo "check-package: completion after \"${check%%|*}\" offers \"$got\"" >&2; status=1; }
done
for page in query set restore scan; do
  zcat "$stage/usr/share/man/man1/tiltwise-cli-$page.1.gz" | grep -q '^\.SH EXAMPLES' ||
    { echo "check-package: tiltwise-cli-$page(1) has no examples" >&2; status=1; }
done
dpkg-deb --field "$deb" Maintainer | grep -q '<.*@.*>' ||
  { echo "check-package: the Maintainer field has no address" >&2; status=1; }

# Errors fail; warnings are shown.
lintian --tag-display-limit 0 "$deb" | tee "$stage/lintian.log" || true
if grep -q '^E: ' "$stage/lintian.log"; then
  echo "check-package: lintian reports errors" >&2
  status=1
fi
[[ $status -eq 0 ]] && echo "check-package: $(basename "$deb") passed"
exit "$status"
