#!/bin/bash
# run-fuzz.sh <fuzzer> <work corpus dir> <seed dir> <seconds>
# Fails on any crash, leak or sanitizer report (libFuzzer exits non-zero).
set -eu
fuzzer=$1 work=$2 seeds=$3 secs=$4
mkdir -p "$work"
dirs=("$work")
[ -d "$seeds" ] && dirs+=("$seeds")
exec "$fuzzer" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "${dirs[@]}"
