#!/usr/bin/env bash
# The analysis library keeps nothing between calls but what its caller's
# Workbench holds: its objects may define no writable data, thread-local or
# not (a global, a static, a thread_local), only code and read-only
# constants. Lists any such symbol and fails.
#
#   tests/core_state.sh NM LIBRARY
set -euo pipefail
nm="$1"
library="$2"
# Weak and unique objects are listed too, since an inline or template
# variable is one; the runtime's type information and the sanitizers' own
# data are left aside.
found="$("$nm" -C "$library" |
  awk '$2 ~ /^[bBdDvVu]$/ { $1 = ""; print }' |
  grep -v -e 'typeinfo' -e 'vtable for' -e 'DW\.ref\.' -e '__asan' \
    -e '__odr_asan' -e '__sancov' -e '__ubsan' || true)"
if [ -n "$found" ]; then
  echo "writable data in $(basename "$library"):"
  echo "$found"
  exit 1
fi
echo "no writable data in $(basename "$library")"
