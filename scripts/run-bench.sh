#!/usr/bin/env bash
# Runs every benchmark of the build folder and writes docs/PERFORMANCE.md: the
# in-process benchmarks first, then the whole-process table beside them.
set -euo pipefail
build=${1:-build}
/usr/bin/python3 scripts/performance-table.py "$build" docs/PERFORMANCE.md
/usr/bin/python3 scripts/process-bench.py "$build" docs/PERFORMANCE.md
