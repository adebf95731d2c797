#!/usr/bin/env bash
# scripts/lib/ensure-packages against a stand-in apt: every name of a list line is read, a
# registry that fails one index is a warning, a failing install is tried three times and then
# named with the registry's complaint; another architecture's packages may fail with a warning.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
check() { if eval "$2"; then :; else echo "FAILED: $1" >&2; fails=$((fails + 1)); fi; }

# The stand-ins: nothing is installed; apt-get logs its calls; APT_UPDATE_FAILS and
# APT_INSTALL_FAILS (how many times) and APT_BROKEN (a name that never installs) steer it.
mkdir "$tmp/bin"
cat >"$tmp/bin/dpkg-query" <<'S'
#!/bin/sh
exit 1
S
cat >"$tmp/bin/dpkg" <<'S'
#!/bin/sh
exit 0
S
cat >"$tmp/bin/id" <<'S'
#!/bin/sh
echo 0
S
cat >"$tmp/bin/apt-get" <<'S'
#!/usr/bin/env bash
echo "$*" >>"$STATE/calls"
case "$1" in
  update)
    if [[ -n "${APT_UPDATE_FAILS:-}" ]]; then
      echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size. Mirror sync in progress?"
      exit 100
    fi ;;
  install)
    for a in "$@"; do [[ "$a" == "${APT_BROKEN:-none}" ]] && { echo "E: Unable to locate package $a"; exit 100; }; done
    n=$(cat "$STATE/installs" 2>/dev/null || echo 0); echo $((n + 1)) >"$STATE/installs"
    if ((n < ${APT_INSTALL_FAILS:-0})); then echo "E: Unable to correct problems"; exit 100; fi ;;
esac
exit 0
S
chmod +x "$tmp/bin"/*
printf 'clang libclang-rt-dev locales # fuzzing\n\n# comment\ncmake\nwine32:i386\n' >"$tmp/list.txt"

run() {  # run NAME [VAR=value...]: ensure-packages in a fresh state folder; output in NAME.out
  local name=$1; shift
  mkdir -p "$tmp/$name"
  env -u WEBQUORREL_APT_FOREIGN_TRIED PATH="$tmp/bin:$PATH" STATE="$tmp/$name" WEBQUORREL_APT_PAUSES="0 0" "$@" \
    "$root/scripts/lib/ensure-packages" "$tmp/list.txt" >"$tmp/$name.out" 2>&1
  echo $? >"$tmp/$name.rc"
}

run plain
check "every name of a line is installed, this machine's architecture first" "grep -qx 'install -y -qq --no-install-recommends clang libclang-rt-dev locales cmake' '$tmp/plain/calls' && [[ \$(sed -n 3p '$tmp/plain/calls') == *' wine32:i386' ]]"
check "plain install succeeds with one update" "[[ \$(cat '$tmp/plain.rc') == 0 && \$(grep -c '^update' '$tmp/plain/calls') == 1 ]]"

run midsync APT_UPDATE_FAILS=1
check "a failed index is a warning" "[[ \$(cat '$tmp/midsync.rc') == 0 ]] && grep -q 'warning: the package registry' '$tmp/midsync.out' && grep -q 'Mirror sync' '$tmp/midsync.out'"

run flaky APT_INSTALL_FAILS=2
check "a failing install is tried again after an update" "[[ \$(cat '$tmp/flaky.rc') == 0 ]] && [[ \$(grep -c '^update' '$tmp/flaky/calls') == 3 ]]"

run broken APT_BROKEN=cmake APT_UPDATE_FAILS=1
check "an impossible package ends the run" "[[ \$(cat '$tmp/broken.rc') == 1 ]]"
check "three tries, then the message names only that package" "[[ \$(grep -c '^install -y' '$tmp/broken/calls') == 3 ]] && grep -qx 'ensure-packages: could not install: cmake' '$tmp/broken.out'"
check "the registry's complaint is shown" "grep -q 'Unable to locate package cmake' '$tmp/broken.out'"

# Another architecture's packages serve only runs that skip themselves: a warning, not an end.
run foreign APT_BROKEN=wine32:i386 APT_UPDATE_FAILS=1
check "another architecture's impossible package is a warning" "[[ \$(cat '$tmp/foreign.rc') == 0 ]] && grep -q 'warning: could not install: wine32:i386; going on' '$tmp/foreign.out'"
check "the others install first; three tries" "[[ \$(grep -c '^install -y' '$tmp/foreign/calls') == 4 && \$(grep -c 'install -y.* cmake\$' '$tmp/foreign/calls') == 1 ]]"
run tried APT_BROKEN=wine32:i386 WEBQUORREL_APT_FOREIGN_TRIED=1
check "another architecture's packages tried earlier in the run are not tried again" "[[ \$(cat '$tmp/tried.rc') == 0 && \$(grep -c '^install -y' '$tmp/tried/calls') == 1 ]] && grep -q 'tried earlier in this run: wine32:i386' '$tmp/tried.out'"

if ((fails > 0)); then echo "$fails failed"; exit 1; fi
echo "ensure-packages: all checks passed"
