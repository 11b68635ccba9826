#!/usr/bin/env bash
# Extraction of plain DSD against a plain copy of the same image, in one run.
#   bench/extract_vs_copy.sh [BUILD_DIR] [AUDIO_SECONDS]
# Makes a stereo image (about 1.06 GiB of audio for the default 1600 s), then times:
#   copy:    cat IMAGE > /dev/null, then dd IMAGE -> a file (reading and writing as many bytes)
#   extract: velmora-cli extract IMAGE --format dsf
# and prints both wall times, their ratio and velmora-cli's peak resident memory.
set -euo pipefail
build=${1:-build}
seconds=${2:-1600}
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-extract-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/tools/velmora-make-image" "$work/big.iso" --tracks 4 --seconds $((seconds / 4)) --loop-seconds 2 >/dev/null
size=$(stat -c %s "$work/big.iso")
echo "image: $((size / 1048576)) MiB"

now() { date +%s.%N; }
sync
t0=$(now)
cat "$work/big.iso" >/dev/null
dd if="$work/big.iso" of="$work/copy.bin" bs=4M status=none
t1=$(now)
rm -f "$work/copy.bin"
sync

/usr/bin/time -f '%M' -o "$work/rss" "$build/cli/velmora-cli" extract "$work/big.iso" --format dsf --area stereo \
  -o "$work/out" >/dev/null 2>&1
t2=$(now)
out_bytes=$(du -sb "$work/out" | cut -f1)

copy=$(echo "$t1 - $t0" | bc -l)
extract=$(echo "$t2 - $t1" | bc -l)
printf 'copy (cat + dd):  %.2f s\n' "$copy"
printf 'extract to DSF:   %.2f s  (%d MiB written)\n' "$extract" $((out_bytes / 1048576))
printf 'ratio:            %.2f\n' "$(echo "$extract / $copy" | bc -l)"
printf 'peak RSS:         %d MiB\n' $(($(cat "$work/rss") / 1024))
