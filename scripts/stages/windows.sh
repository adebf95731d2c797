#!/usr/bin/env bash
# The Windows stage: cross-builds WebQuorrel.dll for both architectures and runs it under Wine
# in a fresh, headless prefix. The DLL's imports and exports for both; for each architecture
# this machine runs (see wine-env): registration and its removal as the registry shows them, a
# VBScript and a C++ COM client on SQLite through ODBC (and on PostgreSQL when
# WEBQUORREL_TEST_PG_CONN is set), and a shared register with the Linux webquorrel command, each
# side acting as its own workstation. Then the MSI packages: install, upgrade, registry,
# clients, removal (tests/windows/msi_stage.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
started=$SECONDS

stage=windows
# shellcheck source=../lib/stage-log
source "$root/scripts/lib/stage-log"

# shellcheck source=../lib/windows-stage
source "$root/scripts/lib/windows-stage"

# --- Helpers --------------------------------------------------------------------------------
# expect_lines WHAT OUTPUT EXPECTED: the output must hold the expected lines, in order, exactly.
expect_lines() {
  if [[ "$2" != "$3" ]]; then
    printf 'windows: %s printed:\n%s\nwanted:\n%s\n' "$1" "$2" "$3" >&2
    fail "$1"
  fi
}

# --- Checks on the built files --------------------------------------------------------------
check_binary() {
  local arch=$1 dll="$root/build-$1/WebQuorrel.dll" objdump imports exports unexpected
  [[ $arch == win64 ]] && objdump=x86_64-w64-mingw32-objdump || objdump=i686-w64-mingw32-objdump
  exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/^\t\[/ {print $NF}' | sort | tr '\n' ' ')
  [[ "$exports" == "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]] ||
    fail "$arch exports: $exports"
  imports=$($objdump -p "$dll" | awk '/DLL Name:/ {print tolower($3)}' | sort | tr '\n' ' ')
  unexpected=$(tr ' ' '\n' <<<"$imports" |
    grep -vxE 'kernel32.dll|user32.dll|advapi32.dll|ole32.dll|oleaut32.dll|odbc32.dll|msvcrt.dll|' || true)
  [[ -z "$unexpected" ]] || fail "$arch imports non-system DLLs: $unexpected"
  # Reproducible: no time stamp in the PE header, nor widl's in the type library.
  grep -q '^Time/Date.*1970$' <<<"$($objdump -p "$dll")" || fail "$arch: the PE header has a time stamp"
  [[ -n ${SOURCE_DATE_EPOCH:-} ]] || grep -q 'WIDL version .* at Thu Jan  1 00:00:00 1970' <<<"$(strings "$dll")" ||
    fail "$arch: the type library has a time stamp"
  say "$arch $(stat -c %s "$dll") bytes; exports: $exports; imports: $imports"
}

# --- Registration ---------------------------------------------------------------------------
# shellcheck disable=SC1090
source "$root/build-win64/webquorrel-ids.sh"
registry_keys=("HKCR\\webQuorrel.clsQuorrel\\CLSID" "HKCR\\CLSID\\$clsid\\InprocServer32"
  "HKCR\\CLSID\\$clsid\\ProgID" "HKCR\\CLSID\\$clsid\\TypeLib" "HKCR\\Interface\\$iid\\ProxyStubClsid32"
  "HKCR\\Interface\\$iid\\TypeLib" "HKCR\\TypeLib\\$libid\\1.0")

# The class entry and the type library's file entry are each architecture's own (the 32-bit
# one lives in the 32-bit view of the registry); the ProgID, interface and type library keys
# are shared by both.
own_keys() { echo "HKCR\\CLSID\\$clsid" "HKCR\\TypeLib\\$libid\\1.0\\0\\$1"; }

# check_registered ARCH yes|no: every entry as that architecture's programs see it, or (no) none
# of that architecture's own.
check_registered() {
  local arch=$1 want=$2 key out
  if [[ $want == no ]]; then
    for key in $(own_keys "$arch"); do
      ! run_win "$arch" reg query "$key" >/dev/null 2>&1 || fail "$arch: $key still registered"
    done
    return
  fi
  for key in "${registry_keys[@]}"; do
    run_win "$arch" reg query "$key" >/dev/null 2>&1 || fail "$arch: $key not registered"
  done
  out=$(run_win "$arch" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel)
  grep -q Apartment <<<"$out" || fail "$arch: threading model is not Apartment"
  out=$(run_win "$arch" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" /ve)
  grep -qF "$(winpath "$tmp/$arch/WebQuorrel.dll")" <<<"$out" || fail "$arch: server path: $out"
  out=$(run_win "$arch" reg query "HKCR\\TypeLib\\$libid\\1.0\\0\\$arch" /ve)
  grep -qF "$(winpath "$tmp/$arch/WebQuorrel.dll")" <<<"$out" || fail "$arch: type library: $out"
}

# No entry at all is left, in either view (the 32-bit one through the 64-bit reg when 32-bit
# programs cannot run).
check_clean() {
  local arch key view
  for arch in win64 win32; do
    view=(run_win "$arch" reg query)
    can_run "$arch" || view=(run_win win64 reg query /reg:32)
    for key in "${registry_keys[@]}" "HKCR\\CLSID\\$clsid" "HKCR\\TypeLib\\$libid"; do
      ! "${view[@]}" "$key" >/dev/null 2>&1 || fail "$arch: $key left behind"
    done
  done
}

register() {
  run_win "$1" regsvr32 /s "$(winpath "$tmp/$1/WebQuorrel.dll")" || fail "$1: regsvr32 failed"
}
unregister() {
  run_win "$1" regsvr32 /s /u "$(winpath "$tmp/$1/WebQuorrel.dll")" || fail "$1: regsvr32 /u failed"
}

# --- Clients ----------------------------------------------------------------------------------
# The VBScript's five call forms on an empty register: register, re-register with variables
# (which stay as they were), withdraw, register with skipped arguments (module ""), and a
# withdrawal limited to module Sales, which leaves that record standing.
run_calls() {
  local arch=$1 conn=$2 what=$3 out
  out=$(run_win "$arch" cscript //nologo "$(winpath "$root/tests/windows/calls.vbs")" "$conn" | tr -d '\r')
  expect_lines "$arch calls.vbs on $what" "$out" "literals 1
variables 1 2 Sales False
connection-only 0
skipped 1
state-skipped 1
end"
}

run_client() {
  local arch=$1 conn=$2 what=$3 out
  out=$(run_win "$arch" "$root/build-$arch/webquorrel_client.exe" "$conn" | tr -d '\r') ||
    { echo "$out" >&2; fail "$arch client on $what"; }
  [[ "$out" == "client checks="*" failures=0" ]] || { echo "$out" >&2; fail "$arch client on $what"; }
  say "$arch client on $what: ${out##*$'\n'}"
}

# A server clock that reads no date: the update shows its message (without a display the
# message box returns at once) and goes on; its record carries that text, so the Linux command
# sees it as damaged.
check_clock_without_date() {
  local arch=$1 db listing
  db=$(new_sqlite_db "nodate-$arch")
  [[ $(vbs_register "$arch" "Driver=SQLite3;Database=$db;LoadExt=$tmp/nodate-$arch.so" Sales) == 1 ]] ||
    fail "$arch: no registration when the clock reads no date"
  listing=$(WEBQUORREL_COMPUTERNAME=WQ-LINUX "$cli" list --conn "Provider=SQLite;Data Source=$db" --json)
  grep -Eq "\"time\": ?\"soon\"[^}]*\"kind\": ?\"damaged\"" <<<"$listing" ||
    fail "$arch: the record without a date: $listing"
}

run_platform_test() {
  local arch=$1 out
  out=$(run_win "$arch" "$root/build-$arch/webquorrel_platform_test.exe" | tr -d '\r') ||
    { echo "$out" >&2; fail "$arch platform test"; }
  say "$arch ${out##*$'\n'}"
}

# The coercion table through ours and oleaut32's, its failures through both Invokes.
run_coerce_compare() {
  local arch=$1 out
  out=$(run_win "$arch" "$root/build-$arch/webquorrel_coerce_compare.exe" \
    "$(winpath "$tmp/$arch/WebQuorrel.dll")" | tr -d '\r') || { echo "$out" >&2; fail "$arch coercion"; }
  say "$arch ${out##*$'\n'}"
}

# --- The run --------------------------------------------------------------------------------
for arch in win64 win32; do check_binary "$arch"; done

boot_started=$SECONDS
wine_boot
say "prefix ready in $((SECONDS - boot_started)) s"

for arch in "${win_archs[@]}"; do
  mkdir -p "$tmp/$arch"
  cp "$root/build-$arch/WebQuorrel.dll" "$tmp/$arch/"
done
check_clean

# Per architecture, each its own workstation: registration, then both clients on SQLite and,
# when the loopback server is up, on PostgreSQL.
declare -A computer_name=([win64]=WQ-WIN64 [win32]=wq-win32)  # lower case: stored upper-cased
for arch in "${win_archs[@]}"; do
  arch_started=$SECONDS
  set_computer_name "${computer_name[$arch]}"
  run_platform_test "$arch"
  run_coerce_compare "$arch"
  register "$arch"
  check_registered "$arch" yes

  run_calls "$arch" "$(sqlite_conn "$arch" "$(new_sqlite_db "calls-$arch")")" SQLite
  run_client "$arch" "$(sqlite_conn "$arch" "$(new_sqlite_db "client-$arch")")" SQLite
  if [[ -n "${WEBQUORREL_TEST_PG_CONN:-}" ]]; then
    run_calls "$arch" "$(new_pg_schema "calls_$arch")" PostgreSQL
    run_client "$arch" "$(new_pg_schema "client_$arch")" PostgreSQL
  fi
  check_clock_without_date "$arch"
  say "$arch registered and called in $((SECONDS - arch_started)) s"
done

# One register shared by the Windows workstations (one per architecture run) and a Linux one:
# each registers, each then sees the others' records as live, and all agree on the count.
interop() {
  local what=$1 linux_conn=$2 win_conn=$3 n=0 total=$((${#win_archs[@]} + 1)) arch count listing
  for arch in "${win_archs[@]}"; do
    set_computer_name "${computer_name[$arch]}"
    [[ $(vbs_register "$arch" "$win_conn" Interop) == $((++n)) ]] ||
      fail "interop on $what: $arch registering as number $n"
  done
  count=$(WEBQUORREL_COMPUTERNAME=WQ-LINUX "$cli" update --conn "$linux_conn" --state 2 \
    --module Interop) || fail "interop on $what: Linux update"
  [[ $count == "$total" ]] || fail "interop on $what: Linux counted $count"
  listing=$(WEBQUORREL_COMPUTERNAME=WQ-LINUX "$cli" list --conn "$linux_conn" --json) ||
    fail "interop on $what: Linux list"
  for arch in "${win_archs[@]}"; do
    grep -Eq "\"workstation\": ?\"${computer_name[$arch]^^}\"[^}]*\"kind\": ?\"live\"" <<<"$listing" ||
      fail "interop on $what: Linux does not see ${computer_name[$arch]^^} live: $listing"
  done
  [[ $(grep -o '"workstation"' <<<"$listing" | wc -l) == "$total" ]] ||
    fail "interop on $what: Linux lists other than $total records: $listing"
  # The Windows workstations re-register: the Linux record counts for them too.
  for arch in "${win_archs[@]}"; do
    set_computer_name "${computer_name[$arch]}"
    [[ $(vbs_register "$arch" "$win_conn" Interop) == "$total" ]] || fail "interop on $what: $arch again"
  done
  say "interop on $what: Windows (${win_archs[*]}) and Linux agree on $total records"
}

db=$(new_sqlite_db interop)
interop SQLite "Provider=SQLite;Data Source=$db" "$(sqlite_conn win64 "$db")"
if [[ -n "${WEBQUORREL_TEST_PG_CONN:-}" ]]; then
  pg=$(new_pg_schema interop)
  interop PostgreSQL "$pg" "$pg"
fi

# webquorrel.exe sample, once: the history file written through the SQLite ODBC driver holds the
# Interop workstations (Linux and each Windows architecture run), and the Linux command reads it
# back.
check_exe_sample() {
  local db=$1 history="$tmp/history.db" out total=$((${#win_archs[@]} + 1))
  WEBQUORREL_SQLITE_DRIVER=SQLite3 run_win win64 "$root/build-win64/webquorrel.exe" sample \
    --conn "$(sqlite_conn win64 "$db")" --history "$history" >/dev/null || fail "webquorrel.exe sample"
  out=$("$cli" history --history "$history" --csv | tr -d '\r') || fail "history of webquorrel.exe sample"
  grep -q "^sample,.*,Interop,$total\$" <<<"$out" || fail "webquorrel.exe sample recorded: $out"
  say "webquorrel.exe sample: Interop $total recorded, read back by the Linux command"
}
check_exe_sample "$db"

# Unregistering one architecture leaves the other registered and working.
if can_run win32; then
  unregister win64
  check_registered win64 no
  check_registered win32 yes
  [[ $(vbs_register win32 "$(sqlite_conn win32 "$(new_sqlite_db after-unregister)")" Sales) == 1 ]] ||
    fail "win32 does not work after unregistering win64"
fi
for arch in win32 win64; do
  can_run "$arch" || continue
  unregister "$arch"
  check_registered "$arch" no
  unregister "$arch"  # again: nothing to remove is no failure
done
check_clean

# The Windows Installer packages in the same, now clean, prefix.
# shellcheck source=../../tests/windows/msi_stage.sh
source "$root/tests/windows/msi_stage.sh"
run_msi_checks

say "stage passed in $((SECONDS - started)) s$(skipped_note)"
