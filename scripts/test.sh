#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal optimised build (then the
# Python package's tests against its library), and a build with AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
jobs="$(nproc)"

echo "== public header: every function documented =="
/usr/bin/python3 "$root/scripts/check-header-docs.py" "$root/include/vantorix.h"

echo "== normal build =="
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

echo "== install, then build and run the first host program against it =="
bash "$root/scripts/check-install.sh" "$root/build"

echo "== Python package, against the normal build's library =="
# pytest's status 5 (no test collected) counts as a failure, as does any other non-zero status.
status=0
VANTORIX_LIBRARY="$root/build/libvantorix.so" /usr/bin/python3 -m pytest -q -p no:cacheprovider "$root/python" || status=$?
if [ "$status" -eq 5 ]; then echo "test.sh: pytest collected no Python test" >&2; exit 1; fi
[ "$status" -eq 0 ] || { echo "test.sh: Python tests failed (pytest status $status)" >&2; exit "$status"; }

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
bash "$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTORIX_SANITIZE=ON -DVANTORIX_BENCH=OFF
(cd "$root/build-asan" && \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j "$jobs")
