#!/usr/bin/env bash
# Runs one fuzz target for SECONDS from its seeds; a crash, leak or failed check is kept in WORK
# and fails the run. Usage: run_fuzz.sh TARGET SECONDS WORK SEEDS
set -euo pipefail
target=$1 seconds=$2 work=$3 seeds=$4
mkdir -p "$work/corpus" "$work/artifacts"
# The walk target changes the current directory: every path it is given is absolute.
target=$(realpath "$target") work=$(realpath "$work") seeds=$(realpath "$seeds")
# Stops on the first finding; -timeout catches a hang, -rss_limit_mb a runaway allocation.
exec "$target" "$work/corpus" "$seeds" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/"
