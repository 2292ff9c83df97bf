#!/usr/bin/env bash
# Renders the example phrase through a few contrasting programs and compares the digests of the
# output files with the committed ones, so a change that alters any sample is caught.
#   golden.sh BUILD_DIR          compare (exit 1 on any difference)
#   golden.sh BUILD_DIR --write  renew digests.txt after a change that is meant to alter the sound
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
phrase=$here/../../examples/phrase.wav
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Program, extra parameters: programs 2, 19 and 20 are among the heaviest, 5 and 17 the
# strangest; the last line is every voice audible with full spread and reverb.
cases=(
  "0|"
  "2|"
  "5|"
  "17|"
  "19|"
  "20|"
  "0|--param Population=1 --param Spread=1 --param 14=0.5"
)
: >"$work/digests.txt"
for entry in "${cases[@]}"; do
  program=${entry%%|*}
  extra=${entry#*|}
  # shellcheck disable=SC2086
  "$build/zornbeck" render "$phrase" "$work/out.wav" --program "$program" $extra --tail 1 >/dev/null
  echo "$(sha256sum <"$work/out.wav" | cut -c1-64)  program $program $extra" >>"$work/digests.txt"
done
if [[ ${2:-} == --write ]]; then
  cp "$work/digests.txt" "$here/digests.txt"
  echo "wrote $here/digests.txt"
elif diff -u "$here/digests.txt" "$work/digests.txt"; then
  echo "golden digests: all ${#cases[@]} renders unchanged"
else
  echo "golden digests differ: the rendered sound changed" >&2
  exit 1
fi
