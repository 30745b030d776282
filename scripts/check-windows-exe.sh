#!/usr/bin/env bash
# Checks the Windows programs as users get them (the mingw-release preset): each is one file
# under its size limit, imports only DLLs every Windows has, carries no symbol table and no
# test hook.
#
#   scripts/check-windows-exe.sh EXE[:LIMIT]...
#   LIMIT   largest size in bytes (default 1048576: the README says the dialog is under 1 MB)
# Exit 0 when every file passes, 1 otherwise.
set -uo pipefail

objdump=x86_64-w64-mingw32-objdump
# The system's own DLLs; anything else would have to ship beside the program.
# bcrypt.dll (the Digest login's hashes) ships with every Windows since Vista.
allowed=" KERNEL32.dll USER32.dll GDI32.dll COMCTL32.dll WS2_32.dll msvcrt.dll ADVAPI32.dll bcrypt.dll "
status=0
bad() {
  echo "check-windows-exe: $1: $2" >&2
  status=1
  ok=0
}

[[ $# -gt 0 ]] || { echo "usage: $0 EXE[:LIMIT]..." >&2; exit 2; }
command -v "$objdump" >/dev/null || { echo "check-windows-exe: $objdump is missing" >&2; exit 1; }
for arg in "$@"; do
  exe=${arg%%:*}
  limit=1048576
  [[ $arg == *:* ]] && limit=${arg##*:}
  name=$(basename "$exe")
  ok=1
  [[ -f $exe ]] || { bad "$name" "missing"; continue; }
  size=$(stat -c %s "$exe")
  ((size <= limit)) || bad "$name" "$size bytes, over the limit of $limit"
  mapfile -t dlls < <("$objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p')
  ((${#dlls[@]} > 0)) || bad "$name" "no import table found"
  for dll in "${dlls[@]}"; do
    [[ ${allowed,,} == *" ${dll,,} "* ]] || bad "$name" "imports $dll, not a system DLL"
  done
  "$objdump" -t "$exe" 2>/dev/null | grep -q '^\[ *[0-9]*\]' && bad "$name" "not stripped"
  grep -q TILTWISE_DUMP_LAYOUT "$exe" && bad "$name" "carries the layout test hook"
  ((ok)) && echo "check-windows-exe: $name: $size bytes, imports ${dlls[*]}"
done
exit "$status"
