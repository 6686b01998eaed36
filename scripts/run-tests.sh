#!/usr/bin/env bash
# Runs the tests of each build folder given and ends with one summary line.
set -uo pipefail
passed=0
failed=0
for dir in "$@"; do
    echo "== tests in $dir"
    log="$dir/ctest.log"
    ctest --test-dir "$dir" --output-on-failure -j 2 2>&1 | tee "$log"
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        echo "no test result in $dir"
        failed=$((failed + 1))
        continue
    fi
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
done
echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
