#!/usr/bin/env bash
# The web page's checks, after scripts/web and the native build:
# - every golden data set through the public face, natively and in
#   WebAssembly under node: the figures against the golden records, and
#   the two outputs (figures, reports, CSV and JSON rows, notes) byte for
#   byte;
# - the polar method's factor for every float in (0, 1) with each build's
#   math library (KALMIR_FACTOR_STEP=N takes every Nth only);
# - the page in headless chromium (page.test.js).
#
#   tests/web/run.sh NATIVE_BUILD WEB_BUILD
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
native="$(cd "$1" && pwd)"
web="$(cd "$2" && pwd)"
out="$web/checks"
step="${KALMIR_FACTOR_STEP:-1}"

"$native/kalmir_web_golden_check" "$root/tests" >"$out/golden-native.txt"
node "$out/golden_check.js" "$root/tests" >"$out/golden-web.txt"
cmp "$out/golden-native.txt" "$out/golden-web.txt"
echo "golden records: the same bytes natively and in WebAssembly"

"$native/kalmir_web_factor_digest" "$step" >"$out/factors-native.txt" &
node "$out/factor_digest.js" "$step" >"$out/factors-web.txt"
wait $!
cmp "$out/factors-native.txt" "$out/factors-web.txt"
echo "polar-method factors: the same for $(tail -n 1 "$out/factors-web.txt")"

cd "$root/tests/web"
KALMIR_WEB="$web" KALMIR_PROGRAM="$native/kalmir" node --test
