#!/usr/bin/env bash
# Builds the Linux suite with sanitizers and runs it; any report fails it.
#
#   scripts/sanitize.sh address   AddressSanitizer (with its leak check) and
#                                 UndefinedBehaviorSanitizer over the whole
#                                 suite, in build-asan/ (the crash soak and
#                                 the interop suite left out: the soak kills
#                                 its programs by design, the interop suite
#                                 runs the Windows build)
#   scripts/sanitize.sh thread    ThreadSanitizer over the tests where threads
#                                 meet: the worker, the batch runs and the
#                                 window (the app suite and gui_tests), in
#                                 build-tsan/
#
# Qt comes from Debian and is not instrumented: under ThreadSanitizer the
# window's own code and the worker are checked, but what happens inside Qt
# (its event queue, its locks) is not seen, and the events the worker posts
# to the window are ordered for the sanitizer by the annotations it can
# see, not by Qt's futexes.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-}
root=$PWD
case $kind in
  address)
    build=${ASAN_BUILD_DIR:-build-asan}
    cmake -S . -B "$build" -G Ninja -DKELDAR_SANITIZE=address,undefined -DKELDAR_BENCH=OFF >/dev/null
    cmake --build "$build"
    export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    unset KELDAR_WINDOWS_BUILD
    exec ctest --test-dir "$build" --output-on-failure --timeout 600 -j"$(nproc)" -LE '^(soak|interop)$'
    ;;
  thread)
    build=${TSAN_BUILD_DIR:-build-tsan}
    cmake -S . -B "$build" -G Ninja -DKELDAR_SANITIZE=thread -DKELDAR_BENCH=OFF >/dev/null
    cmake --build "$build" --target app_tests gui_tests
    export TSAN_OPTIONS="second_deadlock_stack=1 suppressions=$root/scripts/tsan.supp"
    exec ctest --test-dir "$build" --output-on-failure --timeout 600 -j"$(nproc)" \
      -L '^(app|gui)$'
    ;;
  *)
    sed -n '2,19p' "$0"
    exit 2
    ;;
esac
