#!/usr/bin/env bash
# The Windows release files, for scripts/package:  package.sh DIST VERSION
#   DIST/webQuorrel-VERSION-x86.msi, DIST/webQuorrel-VERSION-x64.msi (wixl, webquorrel.wxs) and
#   DIST/webQuorrel-VERSION-windows.zip (x86/ and x64/ with the DLL and webquorrel.exe, INSTALL.txt).
# The DLLs come from scripts/build-windows (built or brought up to date first). VERSION is the
# MSI's product version (major.minor.build); the test stage builds a lower one to upgrade from.
# WEBQUORREL_HELP_URL sets the help link shown in Add/Remove Programs; WEBQUORREL_PREBUILT=1
# packages the DLLs as they are (the test stage, which has just built them).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
dist=$1
version=$2
help_url=${WEBQUORREL_HELP_URL:-https://webquorrel.invalid/windows}
# What each architecture ships in webQuorrel\ (the MSIs and the zip alike), from its build tree.
shipped=(WebQuorrel.dll webquorrel.exe)

[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "package.sh: version $version is not a.b.c" >&2; exit 1; }
"$root/scripts/lib/ensure-packages" "$root/scripts/packages/windows-package.txt"
[[ ${WEBQUORREL_PREBUILT:-} == 1 ]] || "$root/scripts/build-windows" >/dev/null
# shellcheck disable=SC1091
source "$root/build-win64/webquorrel-ids.sh"  # libid, iid, clsid: from frame/descriptor.h
mkdir -p "$dist"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for arch in x86 x64; do
  [[ $arch == x64 ]] && build="$root/build-win64" || build="$root/build-win32"
  stage="$work/$arch"
  mkdir -p "$stage"
  for file in "${shipped[@]}"; do cp "$build/$file" "$stage/"; done
  # The files beside the DLL, for the package's one component.
  {
    echo '<?xml version="1.0" encoding="utf-8"?>'
    echo '<Include>'
    for file in "${shipped[@]}"; do
      [[ $file == WebQuorrel.dll ]] || echo "  <File Id=\"$file\" Name=\"$file\" Source=\"$file\" />"
    done
    echo '</Include>'
  } >"$stage/shipped.wxi"
  # One product code per architecture and version, the same on every build of it.
  product_code=$(python3 -c 'import sys, uuid
print(str(uuid.uuid5(uuid.UUID("6F0A3C52-3D8E-4B51-9C0B-2A8E4E5B7D10"), sys.argv[1])).upper())' \
    "webQuorrel-$arch-$version")
  # wixl takes file and include paths relative to the folder it runs in.
  (cd "$stage" && wixl -a "$arch" -o "$dist/webQuorrel-$version-$arch.msi" \
    -D Arch="$arch" -D Version="$version" -D ProductCode="$product_code" \
    -D LibId="$libid" -D Iid="$iid" -D Clsid="$clsid" -D HelpLink="$help_url" \
    "$here/webquorrel.wxs")
done

# The zip: fixed time stamps and order, so the same DLLs give the same archive.
sed "s/@VERSION@/$version/g; s/\$/\r/" "$here/INSTALL.txt" >"$work/INSTALL.txt"
python3 - "$dist/webQuorrel-$version-windows.zip" "$work" "${shipped[@]}" <<'PY'
import sys, zipfile
out, work, files = sys.argv[1], sys.argv[2], sys.argv[3:]
entries = [("INSTALL.txt", f"{work}/INSTALL.txt")]
entries += [(f"{arch}/{name}", f"{work}/{arch}/{name}") for arch in ("x64", "x86") for name in files]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    for name, path in entries:
        info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        with open(path, "rb") as f:
            z.writestr(info, f.read())
PY
