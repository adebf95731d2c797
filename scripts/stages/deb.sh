#!/usr/bin/env bash
# The Debian package: builds it, checks it with lintian, installs it with dpkg and uses it from
# the installed paths (--version, the man page, the systemd units, an update and a listing on a
# fresh embedded database, WebQuorrel.so registered and called by the C host), then purges it
# and checks that nothing it installed is left. The package is purged again on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
started=$SECONDS

stage=deb
# shellcheck source=../lib/stage-log
source "$root/scripts/lib/stage-log"

[[ $(id -u) -eq 0 ]] || fail "installing the package needs root"
# A run killed halfway may have left its package installed (or half installed): purge it, so
# that this run starts from a machine without it.
status=$(dpkg-query -W -f='${db:Status-Status}' webquorrel 2>/dev/null || true)
if [[ -n "$status" && "$status" != not-installed ]]; then
  say "purging a webquorrel package left $status by an earlier run"
  dpkg --purge webquorrel >/dev/null 2>&1 || dpkg --purge --force-remove-reinstreq webquorrel >/dev/null ||
    fail "cannot purge the webquorrel package left by an earlier run"
fi

tmp=$(mktemp -d "${WEBQUORREL_TEST_TMP:-/tmp}/deb.XXXXXX")
installed=no
cleanup() {
  [[ $installed == yes ]] && { dpkg --purge webquorrel >/dev/null 2>&1 || true; }
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM  # so that the EXIT trap runs on a signal too

# --- Build and lint -----------------------------------------------------------------------------
version=$(sed -n 's/^project(webQuorrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
bash "$root/packaging/debian/package.sh" "$tmp" "$version" >/dev/null
deb="$tmp/webquorrel_${version}_$(dpkg --print-architecture).deb"
say "built $(basename "$deb"), $(stat -c %s "$deb") bytes, in $((SECONDS - started)) s"

lint_started=$SECONDS
lintian --fail-on error,warning --display-level '>=warning' "$deb" >"$tmp/lintian.log" 2>&1 ||
  { cat "$tmp/lintian.log" >&2; fail "lintian"; }
say "lintian: no errors, no warnings left without an override, in $((SECONDS - lint_started)) s"

# --- Install and use ----------------------------------------------------------------------------
use_started=$SECONDS
installed=yes
dpkg -i "$deb" >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log" >&2; fail "dpkg -i"; }
dpkg -L webquorrel >"$tmp/files"
exe=/usr/bin/webquorrel
module=$(grep '/webquorrel/WebQuorrel\.so$' "$tmp/files") || fail "no WebQuorrel.so in the package"
conffile=/etc/webquorrel/webquorrel.env
[[ $(dpkg-query -W -f='${Conffiles}' webquorrel) == *"$conffile"* ]] || fail "$conffile is no conffile"
[[ $(stat -c %a "$conffile") == 640 ]] || fail "$conffile has mode $(stat -c %a "$conffile")"
# serve's HTTP library is a shared one: the package must depend on it.
[[ $(dpkg-query -W -f='${Depends}' webquorrel) == *libmicrohttpd* ]] ||
  fail "the package does not depend on libmicrohttpd: $(dpkg-query -W -f='${Depends}' webquorrel)"

[[ $("$exe" --version | head -1) == "webquorrel $version" ]] || fail "--version: $("$exe" --version)"
[[ $(man -w webquorrel) == /usr/share/man/man1/webquorrel.1.gz ]] || fail "man -w: $(man -w webquorrel 2>&1)"

# The template is checked as an instance; verify also checks that ExecStart's program exists.
units=$(dpkg -L webquorrel | grep '/systemd/system/') || fail "no systemd units in the package"
mkdir "$tmp/units"
for unit in $units; do
  name=$(basename "$unit")
  ln -s "$unit" "$tmp/units/${name/@./@Sales.}"
done
grep -q "^ExecStart=$exe " "$tmp/units/webquorrel-agent@Sales.service" || fail "agent ExecStart"
complaints=$(cd "$tmp/units" && SYSTEMD_LOG_LEVEL=warning systemd-analyze verify ./* 2>&1 || true)
[[ -z "$complaints" ]] || fail "systemd-analyze verify: $complaints"

export XDG_DATA_HOME="$tmp/data" WEBQUORREL_COMPUTERNAME=WQ-DEB WEBQUORREL_CONN=
[[ $("$exe" update --state 2 --module Packaged) == 1 ]] || fail "update on a fresh embedded database"
"$exe" list | grep -q 'WQ-DEB.*Packaged' || fail "list: $("$exe" list)"
[[ -f "$tmp/data/webquorrel/presence.db" ]] || fail "no embedded database under XDG_DATA_HOME"

host_test="$root/build/tests/frame/frame_module_test"
if [[ ! -x "$host_test" ]]; then
  "$root/scripts/lib/build" "$root/build" -DWEBQUORREL_TESTS=ON >/dev/null 2>&1 || true
fi
[[ -x "$host_test" ]] || fail "no $host_test to drive the installed WebQuorrel.so"
WEBQUORREL_TEST_TMP=$tmp WEBQUORREL_TEST_MODULE=$module "$host_test" --gtest_brief=1 \
  >"$tmp/host.log" 2>&1 || { cat "$tmp/host.log" >&2; fail "the C host on $module"; }
say "installed and used in $((SECONDS - use_started)) s: --version, man -w, systemd-analyze verify," \
  "update and list, $module called by the C host"

# --- Purge ----------------------------------------------------------------------------------
dpkg --purge webquorrel >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log" >&2; fail "dpkg --purge"; }
installed=no
left=()
while read -r path; do
  # Shared directories (/usr, /usr/bin, ...) stay; files and the package's own directories go.
  if [[ -e "$path" || -L "$path" ]] && { [[ ! -d "$path" ]] || [[ "$path" == *webquorrel* ]]; }; then
    left+=("$path")
  fi
done <"$tmp/files"
[[ -e "$conffile" || -e /etc/webquorrel ]] && left+=("$conffile")
((${#left[@]} == 0)) || fail "left after purge: ${left[*]}"
say "purged: none of its $(wc -l <"$tmp/files") paths left"
say "stage passed in $((SECONDS - started)) s"
