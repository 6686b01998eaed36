#!/usr/bin/env bash
# Runs each fuzz target for a bounded time, seeded from the test data.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
for f in "$build"/fuzz/*_fuzz; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus="fuzz-corpus/$name"
    mkdir -p "$corpus"
    seeds="fuzz/seeds/${name%_fuzz}"
    echo "== $name for ${seconds}s"
    "$f" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="fuzz-corpus/" "$corpus" "$seeds" 2>&1 | grep -E 'stat::number_of_executed_units|stat::peak_rss|ERROR|SUMMARY|crash' || true
done
