#!/usr/bin/env bash
# The Windows tools stage: webquorrel.exe and the DLL's failure trace under Wine, for each
# architecture this machine runs (see wine-env; the files of both are checked), on the SQLite
# ODBC driver and (when WEBQUORREL_TEST_PG_CONN is set) PostgreSQL. It reuses the builds of
# scripts/build-windows (the Windows stage makes them; this builds them only when they are
# missing or stale) and checks that webquorrel.exe and the Linux command report the same rows
# of one register.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
started=$SECONDS

stage=windows-tools
# shellcheck source=../lib/stage-log
source "$root/scripts/lib/stage-log"

# shellcheck source=../lib/windows-stage
source "$root/scripts/lib/windows-stage"
wine_boot
say "prefix ready in $((SECONDS - started)) s"

# --- webquorrel.exe -------------------------------------------------------------------------
check_exe_file() {
  local arch=$1 exe="$root/build-$1/webquorrel.exe" imports unexpected
  imports=$(wine_objdump "$arch" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort |
    tr '\n' ' ')
  unexpected=$(tr ' ' '\n' <<<"$imports" | grep -vxE \
    'kernel32.dll|user32.dll|advapi32.dll|shell32.dll|ws2_32.dll|odbc32.dll|msvcrt.dll|' || true)
  [[ -z "$unexpected" ]] || fail "$arch webquorrel.exe imports non-system DLLs: $unexpected"
  say "$arch webquorrel.exe $(stat -c %s "$exe") bytes; imports: $imports"

  # Its imports come from System32 only (a planted odbc32.dll beside it is not loaded): the load
  # configuration's DependentLoadFlags, at byte 78 (64-bit) or 54 (32-bit), hold 0x0800.
  local header base rva at=54 flags
  [[ $arch == win64 ]] && at=78
  header=$(wine_objdump "$arch" -p "$exe")
  base=$(awk '$1 == "ImageBase" {print $2}' <<<"$header")
  rva=$(awk '/Load Configuration Directory/ {print $3}' <<<"$header")
  [[ -n "$rva" && $((16#$rva)) != 0 ]] || fail "$arch webquorrel.exe has no load configuration"
  at=$((16#$base + 16#$rva + at))
  flags=$(wine_objdump "$arch" -s --start-address=$at --stop-address=$((at + 2)) "$exe" |
    awk '/^ [0-9a-f]+ [0-9a-f][0-9a-f][0-9a-f][0-9a-f] / {print $2}')
  [[ $flags == 0008 ]] ||
    fail "$arch webquorrel.exe: DependentLoadFlags are '$flags', not LOAD_LIBRARY_SEARCH_SYSTEM32"
  say "$arch webquorrel.exe looks for the DLLs it imports in System32 only"
}

# exe ARCH ARGS...: webquorrel.exe of that architecture; stdout without carriage returns.
exe() {
  local arch=$1
  shift
  run_win "$arch" "$root/build-$arch/webquorrel.exe" "$@" | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

# The same output from both commands, or fail naming what differs.
same() {
  [[ "$2" == "$3" ]] || fail "$1: webquorrel.exe printed
$2
the Linux command printed
$3"
}

check_exe_basics() {
  local arch=$1 out rc=0
  out=$(exe "$arch" --help) || fail "$arch --help"
  grep -q "On Windows" <<<"$out" || fail "$arch --help does not say what differs on Windows"
  # No connection: a clear message, exit status 2.
  out=$(WEBQUORREL_CONN= exe "$arch" list 2>&1) || rc=$?
  [[ $rc == 2 && "$out" == *"--conn"*"WEBQUORREL_CONN"* ]] ||
    fail "$arch list without a connection (status $rc): $out"
  # Sealing in the system's ANSI code page (Wine's default: 1252), as the Linux command does.
  local text=$'PC-\xc3\x9c7,2026-1-2 3:04:05' sealed
  sealed=$(exe "$arch" seal "$text") || fail "$arch seal"
  same "$arch seal" "$sealed" "$(WEBQUORREL_CODEPAGE=CP1252 "$cli" seal "$text")"
  same "$arch unseal" "$(exe "$arch" unseal "$sealed")" "$text"
}

# One register, written by both commands, read by both: the same rows, counts and findings.
# The Linux command reads as the Windows workstation, so that "own" and "live" agree.
check_exe_register() {
  local arch=$1 what=$2 win_conn=$3 linux_conn=$4 name=$5 count
  count=$(exe "$arch" update --conn "$win_conn" --state 2 --module Sales --login) ||
    fail "$arch update on $what"
  [[ $count == 1 ]] || fail "$arch update on $what counted $count"
  count=$(WEBQUORREL_COMPUTERNAME=WQ-LINUX "$cli" update --conn "$linux_conn" --state 2 \
    --module Stock) || fail "Linux update on $what"
  [[ $count == 2 ]] || fail "Linux update after $arch on $what counted $count"
  local linux=(env WEBQUORREL_COMPUTERNAME="$name" "$cli")
  same "$arch list --json on $what" "$(WEBQUORREL_CONN="$win_conn" exe "$arch" list --json)" \
    "$("${linux[@]}" list --conn "$linux_conn" --json)"
  grep -q "\"workstation\": \"$name\".*\"kind\": \"own\"" <<<"$(exe "$arch" list --conn "$win_conn" --json)" ||
    fail "$arch does not see its own record as $name on $what"
  same "$arch count --by-module on $what" "$(exe "$arch" count --conn "$win_conn" --by-module)" \
    "$("${linux[@]}" count --conn "$linux_conn" --by-module)"
  # doctor's first line names the register, whose connection strings differ.
  same "$arch doctor on $what" "$(exe "$arch" doctor --conn "$win_conn" | tail -n +2)" \
    "$("${linux[@]}" doctor --conn "$linux_conn" | tail -n +2)"
  count=$(exe "$arch" update --conn "$win_conn" --state 0) || fail "$arch withdraw on $what"
  [[ $count == 1 ]] || fail "$arch withdraw on $what left $count"
  say "$arch webquorrel.exe on $what: update, list, count, doctor agree with Linux"
}

# --- The DLL's failure trace ----------------------------------------------------------------
trace_key='HKLM\SOFTWARE\webQuorrel'

# calls ARCH CONN: one registration through the DLL; prints the count.
dll_count() { vbs_register "$1" "$2" Sales; }

check_trace() {
  local arch=$1 db=$2 trace="$tmp/trace-$1.log" text n
  # The 64-bit view, which the DLLs of both architectures read.
  run_win win64 reg add "$trace_key" /v TraceFile /d "$(winpath "$trace")" /f >/dev/null
  [[ $(dll_count "$arch" "$(sqlite_conn "$arch" "$db")") == 1 ]] || fail "$arch: a good call"
  [[ ! -e "$trace" ]] || fail "$arch: a successful call left a trace: $(cat "$trace")"

  local empty="$tmp/empty-$arch.db"
  : >"$empty"
  [[ $(dll_count "$arch" "$(sqlite_conn "$arch" "$empty")") == 0 ]] || fail "$arch: missing table"
  [[ $(dll_count "$arch" \
    "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=9;Database=x;UID=wq;PWD={Se;cret9}") == 0 ]] ||
    fail "$arch: unreachable server"
  text=$(tr -d '\r' <"$trace")
  n=$(wc -l <<<"$text")
  [[ $n == 2 ]] || fail "$arch: $n trace lines for two failures: $text"
  grep -Eq "^[0-9-]{10}T[0-9:]{8}Z pid [0-9]+ ${computer_name[$arch]^^} UpdateOnlineState failed in step '(marker query|scan)': error -?[0-9]+: .*SystemSetting.*\(SQLSTATE [0-9A-Z]{5}" <<<"$text" ||
    fail "$arch: the missing table's line: $text"
  grep -Eq "failed in step 'open': error -?[0-9]+: .*\(SQLSTATE 08001" <<<"$text" ||
    fail "$arch: the unreachable server's line: $text"
  ! grep -q "cret9" <<<"$text" || fail "$arch: the trace holds the password: $text"
  # The debugger's copy: Wine logs OutputDebugString on its seh channel (warnings).
  text=$(WINEDEBUG=-all,warn+seh dll_count "$arch" "$(sqlite_conn "$arch" "$empty")" 2>&1 >/dev/null) ||
    fail "$arch: the call for the debugger: $text"
  grep -q "webQuorrel: UpdateOnlineState failed in step" <<<"$text" ||
    fail "$arch: nothing for the debugger: $text"

  # A trace that cannot be written changes nothing; the environment variable wins.
  [[ $(WEBQUORREL_TRACE='Z:\no\such\folder\trace.log' dll_count "$arch" \
    "$(sqlite_conn "$arch" "$empty")") == 0 ]] || fail "$arch: unwritable trace"
  [[ $(WEBQUORREL_TRACE='Z:\no\such\folder\trace.log' dll_count "$arch" \
    "$(sqlite_conn "$arch" "$db")") == 1 ]] || fail "$arch: unwritable trace, good call"
  [[ $(tr -d "\r" <"$trace" | wc -l) == 3 ]] || fail "$arch: the registry's file was written too"
  run_win win64 reg delete "$trace_key" /f >/dev/null
  say "$arch failure trace: one line per failure, none for success, password masked"
}

# --- The packages ---------------------------------------------------------------------------
# Both MSIs and the zip carry webquorrel.exe beside the DLL.
check_packages() {
  local dist="$tmp/dist" arch
  WEBQUORREL_PREBUILT=1 bash "$root/packaging/windows/package.sh" "$dist" 1.0.0 >/dev/null
  for arch in x64 x86; do
    msiinfo export "$dist/webQuorrel-1.0.0-$arch.msi" File | grep -q "webquorrel.exe" ||
      fail "the $arch MSI does not install webquorrel.exe"
  done
  python3 -c 'import sys, zipfile; names = zipfile.ZipFile(sys.argv[1]).namelist()
sys.exit(0 if {"x64/webquorrel.exe", "x86/webquorrel.exe"} <= set(names) else 1)' \
    "$dist/webQuorrel-1.0.0-windows.zip" || fail "the zip does not carry webquorrel.exe"
  say "both MSIs and the zip carry webquorrel.exe"
}

# --- The run --------------------------------------------------------------------------------
for arch in win64 win32; do check_exe_file "$arch"; done
check_packages
declare -A computer_name=([win64]=WQ-TOOLS64 [win32]=wq-tools32)
for arch in "${win_archs[@]}"; do
  arch_started=$SECONDS
  set_computer_name "${computer_name[$arch]}"
  check_exe_basics "$arch"
  db=$(new_sqlite_db "tools-$arch")
  check_exe_register "$arch" SQLite "$(sqlite_conn "$arch" "$db")" \
    "Provider=SQLite;Data Source=$db" "${computer_name[$arch]^^}"
  if [[ -n "${WEBQUORREL_TEST_PG_CONN:-}" ]]; then
    pg=$(new_pg_schema "tools_$arch")
    check_exe_register "$arch" PostgreSQL "$pg" "$pg" "${computer_name[$arch]^^}"
  fi
  register_dll "$arch"
  check_trace "$arch" "$(new_sqlite_db "trace-$arch")"
  unregister_dll "$arch"
  say "$arch done in $((SECONDS - arch_started)) s"
done
say "stage passed in $((SECONDS - started)) s$(skipped_note)"
