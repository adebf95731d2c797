#!/usr/bin/env bash
# Checks the systemd units under contrib/ with systemd-analyze verify, pointed at the built
# command; any complaint fails the stage.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe="$root/build/cli/webquorrel"
units=$(mktemp -d)
trap 'rm -rf "$units"' EXIT
for unit in "$root"/contrib/*.service "$root"/contrib/*.timer; do
  name=$(basename "$unit")
  name=${name/@./@Front\\x20desk.}  # a template is checked as an instance
  sed "s|/usr/bin/webquorrel|$exe|g" "$unit" >"$units/$name"
done
cd "$units"
# The man page of Documentation= exists only once installed; the deb stage checks it there.
complaints=$(SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no ./* 2>&1 || true)
if [[ -n "$complaints" ]]; then
  echo "$complaints" >&2
  exit 1
fi
echo "systemd units: $(ls | tr '\n' ' ')ok"
