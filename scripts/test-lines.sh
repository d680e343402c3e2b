#!/usr/bin/env bash
# Test code against product code, in lines of C++ tracked by git. Tests: every
# *_test.cpp, tests/ and the fakes. Product: the program folders and common/,
# without those (bench/, fuzz/ and scripts/ count as neither).
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.h' '*.c' | grep -vE '^(bench|fuzz|scripts|cmake|debian)/' | while read -r f; do
  case "$f" in
    tests/* | *_test.cpp | */fake*) echo "test $(wc -l < "$f")" ;;
    *) echo "product $(wc -l < "$f")" ;;
  esac
done | awk '$1 == "test" { t += $2 } $1 == "product" { p += $2 }
  END { printf "test lines %d, product lines %d, ratio %.2f\n", t, p, p ? t / p : 0 }'
