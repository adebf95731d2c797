#!/usr/bin/env bash
# Checks the systemd units under contrib/, pointed at the built command:
#  - systemd-analyze verify: any complaint fails the stage;
#  - systemd-analyze security (offline): each service rates at most 2.0;
#  - every service runs as one user, so none takes the state directory from another;
#  - the embedded database stays writable for a running agent across a prune run. systemd is not
#    PID 1 here, so the units' command lines run as one unprivileged user of their own with the
#    units' umask, as systemd would start them (as root; otherwise this part is skipped).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe="$root/build/cli/webquorrel"
units=$(mktemp -d)
work=""
agent_pid=""
cleanup() {
  [[ -n "$agent_pid" ]] && kill "$agent_pid" 2>/dev/null && wait "$agent_pid" 2>/dev/null
  rm -rf "$units" ${work:+"$work"}
  return 0
}
trap cleanup EXIT
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

# The last value of a setting in a unit file.
setting() { sed -n "s/^$2=//p" "$1" | tail -n 1; }

for unit in ./*.service; do
  rating=$(systemd-analyze security --offline=true --no-pager "$unit" 2>&1 |
    sed -n 's/.*Overall exposure level for .*: \([0-9.]*\).*/\1/p')
  if [[ -z "$rating" ]] || ! awk -v r="$rating" 'BEGIN { exit !(r <= 2.0) }'; then
    systemd-analyze security --offline=true --no-pager "$unit" >&2 || true
    echo "systemd units: $unit rates ${rating:-nothing}, more than 2.0" >&2
    exit 1
  fi
  echo "systemd units: $(basename "$unit") security exposure $rating"
done

agent=$(ls ./webquorrel-agent@*.service)
prune=./webquorrel-prune.service
for unit in ./*.service; do
  for key in User DynamicUser StateDirectory StateDirectoryMode UMask; do
    a=$(setting "$agent" "$key") u=$(setting "$unit" "$key")
    if [[ -z "$a" || "$a" != "$u" ]]; then
      echo "systemd units: $key differs (agent '$a', $unit '$u'); all must run as one user" >&2
      exit 1
    fi
  done
done
echo "systemd units: all services run as user $(setting "$agent" User)"

if [[ $(id -u) -ne 0 ]]; then
  echo "systemd units: not root, the shared-database run is skipped"
else
  # One unprivileged id for both command lines, as one dynamic user gives them.
  uid=61999
  work=$(mktemp -d)
  chmod 755 "$work"
  state="$work/webquorrel"
  install -d -m "$(setting "$agent" StateDirectoryMode)" -o "$uid" -g "$uid" "$state"
  umask_=$(setting "$agent" UMask)
  # as_unit NAME COMMAND...: the command as the units' user; run_as_unit replaces the shell
  # with it, so that a background agent's pid is the command's own.
  as_unit() { (run_as_unit "$@"); }
  run_as_unit() {
    exec env -i PATH=/usr/bin:/bin XDG_DATA_HOME="$work" WEBQUORREL_COMPUTERNAME="$1" \
      setpriv --reuid="$uid" --regid="$uid" --clear-groups -- sh -c "umask $umask_; exec \"\$@\"" sh "${@:2}"
  }
  # The agent's command line (interval shortened), the prune's, then another agent update.
  exec_line() { setting "$1" ExecStart | sed 's/--interval 60/--interval 1/; s/"%I"/Sales/'; }
  read -r -a agent_cmd <<<"$(exec_line "$agent")"
  read -r -a prune_cmd <<<"$(exec_line "$prune")"
  run_as_unit AGENT-1 "${agent_cmd[@]}" >"$work/agent.log" 2>&1 &
  agent_pid=$!
  for _ in $(seq 50); do grep -q registered "$work/agent.log" && break; sleep 0.1; done
  as_unit PRUNE "${prune_cmd[@]}" >"$work/prune.log" 2>&1 || { cat "$work/prune.log" >&2; exit 1; }
  sleep 2.5  # two more agent updates after the prune
  as_unit OTHER "$exe" update --state 2 --module Sales >"$work/update.log" 2>&1 ||
    { cat "$work/update.log" >&2; exit 1; }
  kill -TERM "$agent_pid"
  wait "$agent_pid" || true
  agent_pid=""
  if grep -q "update failed" "$work/agent.log" || ! grep -q "withdrew" "$work/agent.log"; then
    cat "$work/agent.log" "$work/prune.log" >&2; ls -la "$state"
    echo "systemd units: the agent could not write after the prune run" >&2
    exit 1
  fi
  db=$(find "$state" -name '*.db' | head -n 1)
  mode=$(stat -c %a "$db")
  echo "systemd units: agent wrote before and after a prune run as one user (database mode $mode)"
fi
echo "systemd units: $(ls | tr '\n' ' ')ok"
