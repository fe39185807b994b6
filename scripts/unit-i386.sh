#!/usr/bin/env bash
# The unit tests built once more as 32-bit x86 programs (cmake/host-i386.cmake): natively
# where the kernel runs 32-bit programs, else under the private root's qemu-i386. They
# find the root's i386 libraries through their run path.
set -euo pipefail
dir=$1
source "$(dirname "$0")/i386-support.sh"
reason=$(fern_i686_unavailable)
if [ -n "$reason" ]; then
  # CTest counts exit code 77 as skipped.
  echo "skipped: the 32-bit unit tests cannot run here: $reason"
  exit 77
fi
[ -x "$dir/unit_tests" ] || { echo "the 32-bit unit tests were not built ($dir/unit_tests)"; exit 1; }
file -b "$dir/unit_tests" | grep -q '^ELF 32-bit' || { echo "$dir/unit_tests is not a 32-bit program"; exit 1; }
fern_i386_emulated && echo "32-bit programs run under qemu-i386 here" || echo "32-bit programs run natively here"
exec "$dir/unit_tests" --gtest_brief=1
