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
#                                 window (the app suite and gui_tests), and
#                                 the folder listing's status calls asked
#                                 ahead (the platform suite), in build-tsan/
#
# Qt comes from Debian and is not instrumented, so ThreadSanitizer cannot see
# how Qt orders its own threads' work (its thread pool, event queue and
# semaphores wait on futexes). scripts/tsan.supp therefore ignores memory
# that Qt's code allocates and frees, accesses whose innermost frame is in
# Qt, and Qt's slot objects handed from one thread to another. What that
# leaves out: a race inside Qt itself, or on a slot object. Every access of
# keldar's own code is checked, on the worker, in the batch runs and in the
# window's slots and dialogs.
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
    cmake --build "$build" --target app_tests gui_tests platform_tests
    export TSAN_OPTIONS="second_deadlock_stack=1 suppressions=$root/scripts/tsan.supp"
    exec ctest --test-dir "$build" --output-on-failure --timeout 600 -j"$(nproc)" \
      -L '^(app|gui|platform)$'
    ;;
  *)
    sed -n '2,19p' "$0"
    exit 2
    ;;
esac
