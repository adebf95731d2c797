#!/usr/bin/env bash
# Builds DIST/webquorrel_VERSION_amd64.deb: a Release build with Debian's hardening flags in
# build-deb/, then CPack's DEB generator.   Usage: package.sh DIST VERSION
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dist=$1
version=$2
build=${WEBQUORREL_DEB_BUILD:-$root/build-deb}
packages=$root/scripts/packages
"$root/scripts/lib/ensure-packages" "$packages/build.txt" "$packages/ops.txt" "$packages/package.txt"

# Debian's compiler and linker flags (fortify, stack protector, relro, now) and its -O2 (GCC 12
# reports false -Wrestrict errors inside std::string at -O3); no debug information, which the
# package would strip anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1" | sed 's/\(^\| \)-g\( \|$\)/ /'; }
cflags="$(flags CPPFLAGS) $(flags CFLAGS)"
cxxflags="$(flags CPPFLAGS) $(flags CXXFLAGS)"
ldflags=$(flags LDFLAGS)

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DWEBQUORREL_TESTS=OFF -DWEBQUORREL_BENCH=OFF -DWEBQUORREL_DEBIAN_FILES=ON "${launcher[@]}" \
  -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1 ||
  { tail -n 80 "$build/build.log" >&2; echo "package: the build failed (whole output: $build/build.log)" >&2; exit 1; }
rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB -B "$build/cpack" >"$build/cpack.log" 2>&1) ||
  { cat "$build/cpack.log" >&2; exit 1; }
deb="$build/cpack/webquorrel_${version}_$(dpkg --print-architecture).deb"
[[ -f "$deb" ]] || { echo "package: $deb was not built (version $version?)" >&2; exit 1; }
cp "$deb" "$dist/"
echo "$dist/$(basename "$deb")"
