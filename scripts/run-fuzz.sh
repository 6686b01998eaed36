#!/usr/bin/env bash
# Runs each fuzz target for a bounded time, seeded from the test data.
# Usage: run-fuzz.sh [build folder] [seconds] [target name, e.g. songtext_fuzz]
# Every target runs with a memory limit: an input that makes a reader allocate
# beyond it (one allocation over 512 MB, or 512 MB in all) is a finding, like a
# crash, and its bytes are kept in fuzz-corpus/.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
only=${3:-}
for f in "$build"/fuzz/*_fuzz; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    [ -z "$only" ] || [ "$name" = "$only" ] || continue
    corpus="fuzz-corpus/$name"
    mkdir -p "$corpus"
    seeds="fuzz/seeds/${name%_fuzz}"
    echo "== $name for ${seconds}s"
    "$f" -max_total_time="$seconds" -rss_limit_mb=512 -malloc_limit_mb=512 -print_final_stats=1 \
        -artifact_prefix="fuzz-corpus/" "$corpus" "$seeds" 2>&1 |
        grep -E 'stat::number_of_executed_units|stat::peak_rss|ERROR|SUMMARY|crash|out-of-memory|malloc\(' || true
done
