#!/bin/sh
# dependent_load_flags.sh EXE MAP SIZE: points the load configuration entry of the PE image EXE
# at the structure _load_config_used (found in the link map MAP, SIZE bytes long; see
# load_config_win.c), which GNU ld 2.40 leaves at zero.
set -eu
exe=$1 map=$2 size=$3
u() { od -An -t "u$2" -j "$1" -N "$2" "$exe" | tr -d ' '; }  # unsigned at offset, 2/4/8 bytes
le32() {                                                         # 4 bytes little-endian at offset
  printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($2 & 255)) $(($2 >> 8 & 255)) \
    $(($2 >> 16 & 255)) $(($2 >> 24 & 255)))" | dd of="$exe" bs=1 seek="$1" conv=notrunc 2>/dev/null
}
va=$(awk '$2 ~ /^_?_load_config_used$/ { print $1; exit }' "$map")
[ -n "$va" ] || { echo "no _load_config_used in $map" >&2; exit 1; }
pe=$(u 60 4)
opt=$((pe + 24))
if [ "$(u "$opt" 2)" = 523 ]; then  # PE32+
  base=$(u $((opt + 24)) 8) dirs=$((opt + 112))
else
  base=$(u $((opt + 28)) 4) dirs=$((opt + 96))
fi
entry=$((dirs + 10 * 8))  # IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG
le32 "$entry" $((va - base))
le32 $((entry + 4)) "$size"
