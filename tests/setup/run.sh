#!/usr/bin/env bash
# shellcheck disable=SC2016 # the stand-ins' bodies expand when they run
# scripts/setup's decisions, with stand-ins for apt-get, dpkg-query, dpkg, id (root) and sleep
# first on PATH: nothing is installed for real. Prints PASS/FAIL per case and "N passed, N failed".
set -u
setup=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/setup
STATE=$(mktemp -d) || exit 1
trap 'rm -rf "$STATE"' EXIT
export STATE PATH="$STATE/bin:$PATH"
mkdir "$STATE/bin"
stub() { printf '#!/bin/bash\n%s\n' "$2" >"$STATE/bin/$1" && chmod +x "$STATE/bin/$1"; }
stub id '[ "$1" = -u ] && echo 0 || exec /usr/bin/id "$@"'
stub sleep ':'
stub dpkg 'case $1 in --print-foreign-architectures) cat "$STATE/archs" ;; --add-architecture) echo "$2" >>"$STATE/archs" ;; esac'
stub dpkg-query 'grep -qx "${!#}" "$STATE/installed" && printf installed'
stub apt-get 'echo "$1" >>"$STATE/calls"
if [ "$1" = update ] && [ -n "$UPDATE_FAILS" ]; then
  echo "E: Failed to fetch i386/Packages  File has unexpected size (374820 != 376004). Mirror sync in progress?"; exit 100
fi
for p in "${@:2}"; do case " $REFUSE " in *" $p "*) echo "E: Unable to correct problems, you have held broken packages."; exit 100 ;; esac; done
for p in "${@:2}"; do [ "${p#-}" != "$p" ] || [ "$1" != install ] || echo "$p" >>"$STATE/installed"; done'

passed=0 failed=0
# name | state: fresh, or kept from the case before | update fails | refused | exit | updates | line
while IFS='|' read -r name state update_fails refuse want_rc want_updates want_line; do
  if [ "$state" != kept ]; then : >"$STATE/installed"; : >"$STATE/archs"; fi
  : >"$STATE/calls"
  out=$(UPDATE_FAILS=$update_fails REFUSE=$refuse bash "$setup" 2>&1)
  rc=$? updates=$(grep -cx update "$STATE/calls")
  if [ "$rc" -eq "$want_rc" ] && [ "$updates" -eq "$want_updates" ] && [ "$(grep -cFx "$want_line" <<<"$out")" = 1 ]; then
    passed=$((passed + 1)) && echo "PASS $name"
  else
    failed=$((failed + 1)) && printf 'FAIL %s: exit %s, %s updates, output:\n%s\n' "$name" "$rc" "$updates" "$out"
  fi
done <<'CASES'
update fails, packages install|fresh|1||0|3|setup: apt-get update failed 3 times (Failed to fetch i386/Packages  File has unexpected size (374820 != 376004). Mirror sync in progress?); going on with the package indexes at hand
then everything is installed|kept|1||0|0|setup: all build and test tools are installed
wine32 refuses|fresh||wine32|0|1|setup: wine32 could not be installed (Unable to correct problems, you have held broken packages.); the 32-bit build's runs will be skipped
an x64 package refuses|fresh||xdotool|1|1|setup: could not install what the build needs: xdotool (Unable to correct problems, you have held broken packages.)
CASES
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
