#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Tavimo developers
# SPDX-License-Identifier: MIT

# Times the tool against write_limit, plain 1 MiB writes of the same number of
# bytes, on tmpfs and on the disk's file system, and reports the tool's peak
# memory. Needs the README's build first. Usage: bench/run.sh [build dir]
# Environment: RUNS, the runs per case (default 15); SIZES, the image sizes
# (for example "8192x8192 120x16"); TARGET_DIRS, the folders to write in.
set -euo pipefail

build=${1:-build}
tool=$build/tavimo
limit=$build/bench/write_limit
runs=${RUNS:-15}
read -r -a target_dirs <<<"${TARGET_DIRS:-/dev/shm /tmp}"
read -r -a sizes <<<"${SIZES:-8192x8192 4096x4096 1024x1024 120x16}"

for program in "$tool" "$limit" /usr/bin/time; do
  [ -x "$program" ] || { echo "missing $program: build first (and apt-get install time)" >&2; exit 1; }
done

# Wall time of one run in microseconds; the target is removed first, untimed.
time_run() {
  local target=$1
  shift
  rm -f "$target"
  local start=$EPOCHREALTIME
  "$@" >/dev/null
  local end=$EPOCHREALTIME
  echo $(((${end/./} - ${start/./})))
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Peak resident set size in KiB, the median of five runs: where the loader
# places the libraries moves it by up to about 200 KiB from run to run.
peak_rss_kib() {
  local target=$1 report
  shift
  report=$(mktemp)
  for _ in 1 2 3 4 5; do
    rm -f "$target"
    /usr/bin/time -f %M -a -o "$report" "$@" >/dev/null
  done
  median <"$report"
  rm -f "$report"
}

echo "Machine: $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)," \
  "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), Linux $(uname -r); $runs runs per case"
echo
echo "| folder | size | bytes | tavimo ms | write_limit ms | ratio | tavimo peak RSS KiB (median) |"
echo "|---|---|---|---:|---:|---:|---:|"
for dir in "${target_dirs[@]}"; do
  for size in "${sizes[@]}"; do
    IFS=x read -r width height <<<"$size"
    bytes=$((18 + 3 * width * height))
    target=$dir/tavimo-bench-$$.tga
    tool_times=()
    limit_times=()
    for ((run = 0; run < runs; run++)); do
      # Alternate, so that both see the same state of the machine.
      tool_times+=("$(time_run "$target" "$tool" "$target" "$width" "$height" 3 0 1)")
      limit_times+=("$(time_run "$target" "$limit" "$target" "$bytes")")
    done
    tool_us=$(printf '%s\n' "${tool_times[@]}" | median)
    limit_us=$(printf '%s\n' "${limit_times[@]}" | median)
    rss=$(peak_rss_kib "$target" "$tool" "$target" "$width" "$height" 3 0 1)
    rm -f "$target"
    awk -v d="$dir" -v w="$width" -v h="$height" -v b="$bytes" -v t="$tool_us" -v l="$limit_us" -v r="$rss" \
      'BEGIN { printf "| %s | %d x %d | %d | %.2f | %.2f | %.3f | %d |\n", d, w, h, b, t / 1000, l / 1000, t / l, r }'
  done
done
