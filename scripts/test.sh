#!/usr/bin/env bash
# Installs what is missing, then builds and tests Tallyrig as CI does, in three stages, each in a
# build folder of its own and with warnings as errors:
#   default     the full build and every suite;
#   no-runtime  the build without the carried runtime, the tests about what a build carries, and
#               on Linux the Debian package's checks (lintian, the desktop entry's and the
#               metainfo's validators, its file list: scripts/package.sh --no-screenshots);
#   sanitizers  the build of the suites under AddressSanitizer and UndefinedBehaviorSanitizer
#               (without the benchmarks and tools), every suite.
# Arguments go to the default stage's ctest (e.g. -R tst_bridge). TALLYRIG_TEST_STAGES picks the
# stages to run (default: all three). On Linux the suites run inside a private test desktop (Xvfb,
# session and accessibility buses, a window manager; see with-desktop.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

stages=${TALLYRIG_TEST_STAGES:-default no-runtime sanitizers}
# The stages' build folders and the package compile many of the same sources with the same flags.
if [[ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]] && command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
fi

# ---- helpers

# Runs a command and says how long it took.
timed() {
    local started=$SECONDS
    "$@"
    local took=$((SECONDS - started))
    printf -- '---- %s: %dm%02ds\n' "$*" $((took / 60)) $((took % 60))
}

# Runs a command with a display: on Linux a private test desktop (with-desktop.sh), which the
# targeting tests need for its window manager and accessibility bus.
with_display() {
    if [[ "$(uname -s)" != "Darwin" ]]; then
        scripts/with-desktop.sh "$@"
    else
        "$@"
    fi
}

# Configures a preset (warnings are errors) and builds it, or the targets given after it. Shows the
# build's output only when it fails.
build() {
    local preset=$1
    shift
    local log
    log=$(mktemp)
    if ! cmake --preset "$preset" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >"$log" 2>&1 ||
        ! cmake --build --preset "$preset" -j "$(nproc 2>/dev/null || sysctl -n hw.ncpu)" "$@" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
}

# Runs a preset's tests.
run_tests() {
    local preset=$1
    shift
    QTWEBENGINE_DISABLE_SANDBOX=1 with_display ctest --preset "$preset" -j 2 "$@"
}

# ---- stages

stage_default() {
    if [[ "$(uname -s)" == "Darwin" ]]; then
        timed build default
    else
        # The macOS backend, compiled here against GNUstep and our declarations of Apple's interfaces.
        timed build default --target all macos_compile_check
    fi
    timed run_tests default "$@"
}

stage_no_runtime() {
    timed build no-runtime --target bundle_checks
    timed run_tests no-runtime
    if [[ "$(uname -s)" != "Darwin" ]]; then
        timed scripts/package.sh --no-screenshots
    fi
}

stage_sanitizers() {
    timed build sanitizers
    timed run_tests sanitizers
}

# ---- main

scripts/setup.sh --test
for stage in $stages; do
    echo "==== $stage"
    case $stage in
    default) timed stage_default "$@" ;;
    no-runtime) timed stage_no_runtime ;;
    sanitizers) timed stage_sanitizers ;;
    *)
        echo "unknown stage: $stage" >&2
        exit 2
        ;;
    esac
done
