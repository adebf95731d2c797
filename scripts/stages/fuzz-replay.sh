#!/usr/bin/env bash
# Replays every fuzz target over its seed corpus (tests/fuzz/corpus/<target>), so that an input
# that once crashed or broke a property stays fixed. Replay only: no new inputs are searched.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$root/build-fuzz
start=$SECONDS
targets=$("$root/scripts/lib/build-fuzz" "$dir")
built=$SECONDS
for t in $targets; do
  log=$(mktemp)
  if ! (cd "$dir" && "$dir/tests/fuzz/$t" -runs=0 -timeout=10 "$root/tests/fuzz/corpus/$t" >"$log" 2>&1); then
    cat "$log" >&2
    echo "fuzz replay: $t failed" >&2
    exit 1
  fi
  echo "$t: $(grep -c . <(ls "$root/tests/fuzz/corpus/$t")) inputs ok"
  rm -f "$log"
done
echo "fuzz replay: build $((built - start)) s, replay $((SECONDS - built)) s"
