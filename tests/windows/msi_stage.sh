# The Windows stage's package checks, sourced by scripts/stages/windows.sh after its own run has
# left the prefix clean; they use its helpers (run_win, fail, say, winpath, check_clean, ...).
# For each architecture this machine runs (see wine-env): the package's registry against what
# regsvr32 writes for the same file, an upgrade from a lower version built here, a downgrade
# refused, both clients and the type information against the installed copy; then with both
# installed, removing one leaves nothing of it and the other working. A package that cannot be
# installed here is read with msiinfo instead.

msi_version=$(sed -n 's/^project(webQuorrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
msi_old_version=0.0.1
declare -A msi_arch=([win64]=x64 [win32]=x86)
declare -A msi_folder=([win64]="C:\\Program Files\\webQuorrel" [win32]="C:\\Program Files (x86)\\webQuorrel")

# msi ARCH new|old: the package file.
msi() {
  local v=$msi_version dir=$tmp/dist
  [[ $2 == old ]] && v=$msi_old_version && dir=$tmp/dist-old
  winpath "$dir/webQuorrel-$v-${msi_arch[$1]}.msi"
}
# Wine's 32-bit msiexec for both packages when it runs: it writes a 32-bit component's classes
# keys where both views see the shared ones (the ProgID), as Windows does; the 64-bit one writes
# them below Wow6432Node, where 64-bit programs do not look. Without 32-bit runs only the x64
# package is installed, and the 64-bit msiexec does.
msiexec_run() {
  local arch=win32
  can_run win32 || arch=win64
  run_win "$arch" msiexec "${@:2}" /qn
}

# Wine's 64-bit msiexec writes a 32-bit component's classes keys in the 32-bit view only, the
# ProgID's among them, which Windows shares between both views. Without the 32-bit msiexec the
# stage checks them there and copies them to the 64-bit view, as Windows shows them, for the
# registry comparison and the 64-bit clients; it takes the copy away before the removal.
progid_key="HKCR\\webQuorrel.clsQuorrel"
share_progid() {
  can_run win32 && return
  run_win win64 reg query "$progid_key\\CLSID" /ve /reg:32 2>/dev/null | grep -qF "$clsid" ||
    fail "win64: the package's ProgID is not in the 32-bit view"
  ! run_win win64 reg query "$progid_key" >/dev/null 2>&1 ||
    fail "win64: Wine's 64-bit msiexec now writes the ProgID in the 64-bit view; drop the copy"
  run_win win64 reg add "$progid_key" /ve /d webQuorrel.clsQuorrel /f >/dev/null
  run_win win64 reg add "$progid_key\\CLSID" /ve /d "$clsid" /f >/dev/null
  say "win64: Wine's 64-bit msiexec wrote the ProgID in the 32-bit view only;" \
    "copied to the 64-bit view, which Windows shares"
}
unshare_progid() { can_run win32 || run_win win64 reg delete "$progid_key" /f >/dev/null; }

# The x86 package read without running it: its registry values are the x64 package's but for
# the type library's file entry, its server component is 32-bit (no 256 in its attributes),
# it installs into the 32-bit Program Files and carries the 32-bit build's files.
check_msi_tables() {
  local x86="$tmp/dist/webQuorrel-$msi_version-x86.msi" x64="$tmp/dist/webQuorrel-$msi_version-x64.msi"
  local out file
  msi_rows() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4 | cut -f2- | LC_ALL=C sort; }
  diff <(msi_rows "$x64" Registry | sed 's/\\0\\win64\t/\\0\\win32\t/') <(msi_rows "$x86" Registry) >&2 ||
    fail "x86 package: registry values other than the x64 one's (< x64, > x86)"
  out=$(msiinfo export "$x86" Component | tr -d '\r' | awk -F'\t' '$1 == "Server" {print $4}')
  [[ -n $out ]] && (((out & 256) == 0)) || fail "x86 package: the server component's attributes: $out"
  msiinfo export "$x86" Directory | grep -q "ProgramFilesFolder" || fail "x86 package: not in Program Files (x86)"
  msiextract -C "$tmp/x86-payload" "$x86" >/dev/null || fail "x86 package: cannot extract it"
  for file in WebQuorrel.dll webquorrel.exe; do
    cmp -s "$(find "$tmp/x86-payload" -name "$file" | head -n 1)" "$root/build-win32/$file" ||
      fail "x86 package: $file is not the 32-bit build's"
  done
  say "win32 package read (not installed): registry, component, folder and files as the x64 one's"
}

# The registry entries of the component as ARCH's programs see them: "key<TAB>name<TAB>data"
# lines, lower-cased (Wine's RegisterTypeLib spells "Typelib"), sorted; without the other
# architecture's file entry in the type library's key, which both share.
registry_dump() {
  local arch=$1 key other=win32
  [[ $arch == win32 ]] && other=win64
  for key in "HKCR\\webQuorrel.clsQuorrel" "HKCR\\CLSID\\$clsid" "HKCR\\Interface\\$iid" \
    "HKCR\\TypeLib\\$libid"; do
    run_win "$arch" reg query "$key" /s 2>/dev/null || true
  done | tr -d '\r' | awk -F'    ' '
    /^HKEY_/ { key = $0; next }
    /^    / { print key "\t" $2 "\t" $4 }' | tr '[:upper:]' '[:lower:]' |
    { grep -v "\\\\0\\\\$other"$'\t' || true; } | LC_ALL=C sort
}

# What regsvr32 writes for the DLL at the package's own path, for the package to match.
regsvr32_dump() {
  local arch=$1 unix
  unix="$WINEPREFIX/drive_c/${msi_folder[$arch]#C:\\}"
  unix=${unix//\\//}
  mkdir -p "$unix"
  cp "$root/build-$arch/WebQuorrel.dll" "$unix/"
  run_win "$arch" regsvr32 /s "${msi_folder[$arch]}\\WebQuorrel.dll" || fail "$arch: regsvr32 at the package's path"
  registry_dump "$arch" >"$tmp/regsvr32-$arch.txt"
  run_win "$arch" regsvr32 /s /u "${msi_folder[$arch]}\\WebQuorrel.dll" || fail "$arch: regsvr32 /u"
  rm -rf "$unix"
}

# The product entries in Add/Remove Programs for ARCH's package: "ProductCode DisplayVersion".
arp_entries() {
  run_win "$1" reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s 2>/dev/null |
    tr -d '\r' | awk -v name="webQuorrel (${2})" '
      function flush() { if (shown && version != "") print key, version }
      /^HKEY_/ { flush(); key = $0; sub(/.*\\/, "", key); shown = 0; version = "" }
      /^    DisplayName / && index($0, name) { shown = 1 }
      /^    DisplayVersion / { version = $NF }
      END { flush() }' | sort -u
}

check_arp() {
  local arch=$1 bits entries out
  [[ $arch == win64 ]] && bits=64-bit || bits=32-bit
  entries=$(arp_entries "$arch" "$bits")
  [[ $(wc -l <<<"$entries") == 1 && "$entries" == *" $2" ]] ||
    fail "$arch: Add/Remove Programs should list version $2 once: $entries"
  out=$(run_win "$arch" reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${entries%% *}" | tr -d '\r')
  grep -q "Publisher.*webQuorrel developers" <<<"$out" && grep -q "HelpLink.*http" <<<"$out" ||
    fail "$arch: Add/Remove Programs entry without publisher or help link: $out"
}

msi_installed_file() {
  local unix="$WINEPREFIX/drive_c/${msi_folder[$1]#C:\\}"
  echo "${unix//\\//}/WebQuorrel.dll"
}

# Install, upgrade, refuse a downgrade, compare the registry, call it.
msi_install() {
  local arch=$1 out
  msiexec_run "$arch" /i "$(msi "$arch" old)" || fail "$arch: installing $msi_old_version"
  check_arp "$arch" "$msi_old_version"
  msiexec_run "$arch" /i "$(msi "$arch" new)" || fail "$arch: upgrading to $msi_version"
  check_arp "$arch" "$msi_version"
  ! msiexec_run "$arch" /i "$(msi "$arch" old)" || fail "$arch: a downgrade was not refused"
  check_arp "$arch" "$msi_version"
  # The same version again: still one product (Windows refuses a rebuilt package of it).
  msiexec_run "$arch" /i "$(msi "$arch" new)" || true
  check_arp "$arch" "$msi_version"
  share_progid
  cmp -s "$(msi_installed_file "$arch")" "$root/build-$arch/WebQuorrel.dll" ||
    fail "$arch: the installed DLL is not the built one"
  registry_dump "$arch" >"$tmp/msi-$arch.txt"
  diff "$tmp/regsvr32-$arch.txt" "$tmp/msi-$arch.txt" >&2 ||
    fail "$arch: the package's registry differs from regsvr32's (< regsvr32, > package)"
  run_calls "$arch" "$(sqlite_conn "$arch" "$(new_sqlite_db "msi-calls-$arch")")" "SQLite, installed"
  run_client "$arch" "$(sqlite_conn "$arch" "$(new_sqlite_db "msi-client-$arch")")" "SQLite, installed"
}

# Nothing of ARCH's package is left: its file and folder, its own keys, its product entry.
check_msi_removed() {
  local arch=$1 bits key
  [[ ! -e "$(dirname "$(msi_installed_file "$arch")")" ]] || fail "$arch: the install folder is left"
  for key in "HKCR\\CLSID\\$clsid" "HKCR\\Interface\\$iid" "HKCR\\TypeLib\\$libid\\1.0\\0\\$arch"; do
    ! run_win "$arch" reg query "$key" >/dev/null 2>&1 || fail "$arch: $key left after removal"
  done
  [[ $arch == win64 ]] && bits=64-bit || bits=32-bit
  [[ -z $(arp_entries "$arch" "$bits") ]] || fail "$arch: still in Add/Remove Programs"
}

run_msi_checks() {
  local started=$SECONDS arch
  "$root/scripts/lib/ensure-packages" "$root/scripts/packages/windows-package.txt"
  WEBQUORREL_PREBUILT=1 bash "$root/packaging/windows/package.sh" "$tmp/dist" "$msi_version" >/dev/null
  WEBQUORREL_PREBUILT=1 bash "$root/packaging/windows/package.sh" "$tmp/dist-old" "$msi_old_version" \
    >/dev/null
  say "packages built in $((SECONDS - started)) s: $(cd "$tmp/dist" && stat -c '%n %s' ./* | tr '\n' ' ')"
  # An unregistered DLL already hands out its type information.
  run_win win64 "$root/build-win64/webquorrel_client.exe" --type-info "$(winpath "$root/build-win64/WebQuorrel.dll")" |
    tr -d '\r' | grep -qx "client checks=[0-9]* failures=0" || fail "win64: type information before registration"
  # Each architecture's regsvr32 entries on a clean registry, before any package is in.
  for arch in "${win_archs[@]}"; do regsvr32_dump "$arch"; done
  for arch in "${win_archs[@]}"; do
    msi_install "$arch"
    say "$arch package installed, upgraded and called"
  done
  if can_run win32; then
    # Both installed: removing the 32-bit package leaves the 64-bit one whole and working.
    msiexec_run win32 /x "$(msi win32 new)" || fail "win32: removing the package"
    check_msi_removed win32
    registry_dump win64 | diff "$tmp/msi-win64.txt" - >&2 || fail "win64: entries changed by removing win32"
    run_client win64 "$(sqlite_conn win64 "$(new_sqlite_db msi-after-win32)")" "SQLite, after removing win32"
  else
    check_msi_tables
    unshare_progid
  fi
  msiexec_run win64 /x "$(msi win64 new)" || fail "win64: removing the package"
  check_msi_removed win64
  check_clean
  say "packages checked in $((SECONDS - started)) s"
}
