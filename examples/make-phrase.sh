#!/usr/bin/env bash
# Makes examples/phrase.wav: a short spoken phrase, mono, 44100 Hz, 24-bit, peak at -3 dBFS.
# Needs espeak-ng and sox. The committed file is what this script made; rerun it to remake it.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
espeak-ng -v en -s 150 -p 45 -w "$tmp/voice.wav" \
  "Hear the whole crowd sing along with a single voice."
# Trim the synthesiser's leading and trailing silence, keep a short breath of room at each end,
# resample to 44100 Hz, then normalise the peak to -3 dBFS.
sox "$tmp/voice.wav" -b 24 -r 44100 -c 1 phrase.wav \
  silence 1 0.01 0.1% reverse silence 1 0.01 0.1% reverse \
  pad 0.1 0.2 rate -v 44100 gain -n -3
soxi phrase.wav
