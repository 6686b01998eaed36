#!/usr/bin/env bash
# Runs every benchmark of the build folder and writes docs/PERFORMANCE.md.
set -euo pipefail
build=${1:-build}
/usr/bin/python3 scripts/performance-table.py "$build" docs/PERFORMANCE.md
