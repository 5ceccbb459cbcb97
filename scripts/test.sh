#!/bin/bash
# Installs what is missing, checks the source format, builds, and runs every
# test: the normal build (as root and as an ordinary user), the Debian package
# made from it, the whole suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, the thread tests under ThreadSanitizer, the fuzz
# targets of the reply parser and the preset reader for a bounded time,
# and the Windows build cross-built and tested under Wine (scripts/windows.sh).
# Window tests start Xvfb displays of their own; Wine runs on a private Xvfb
# display that this script starts and stops.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=$(nproc)

./scripts/setup.sh

# shellcheck source=scripts/xvfb.sh
. "$ROOT/scripts/xvfb.sh"
UNPRIV_STAGE=""
# Each stage's time, printed at the end (also when a stage fails).
STAGE_NAMES=()
STAGE_SECONDS=()
stage() { # title
    stage_end
    echo "== $1"
    STAGE_NAMES+=("$1")
    STAGE_START=$SECONDS
}
stage_end() {
    if [ "${#STAGE_NAMES[@]}" -gt "${#STAGE_SECONDS[@]}" ]; then
        STAGE_SECONDS+=($((SECONDS - STAGE_START)))
    fi
}
print_stage_times() {
    stage_end
    local i
    echo "== Stage times"
    for i in "${!STAGE_SECONDS[@]}"; do
        printf '%6d s  %s\n' "${STAGE_SECONDS[i]}" "${STAGE_NAMES[i]}"
    done
    printf '%6d s  in all\n' "$SECONDS"
}
cleanup() {
    print_stage_times
    stop_xvfb
    if [ -n "$UNPRIV_STAGE" ]; then rm -rf "$UNPRIV_STAGE"; fi
}
trap cleanup EXIT
start_xvfb 90 140
export NO_AT_BRIDGE=1

build() { # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

# Window tests each start an Xvfb display of their own
# (tests/support/own_display.sh), so every test runs in parallel; most of
# them wait on the unit's timers more than they compute.
CTEST_JOBS=$((JOBS + 1))
run_ctest() { # dir, extra ctest args...
    local dir=$1
    shift
    ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$CTEST_JOBS" "$@"
}

# The suite again as an ordinary account: root passes permission checks,
# exclusive-use flags and ownership rules that a technician's account does
# not. The checkout may sit where only root can reach it, so the account
# runs a copy of the sources and of the built tree (without object files) in
# a folder of its own, with ctest's paths moved to the copy; the test
# programs find the build's programs beside themselves. Another account's files in a shared folder are
# planted for the ownership tests (QVL_TEST_FOREIGN_DIR).
unprivileged_ctest() { # build dir
    local user=${QVL_TEST_USER:-qvl-ci}
    if [ "$(id -u)" != 0 ]; then
        echo "(running as an ordinary user already: the stage above was that run)"
        return 0
    fi
    # A shell that runs commands: the SSH line test logs in to it (by a key of
    # its own, through an sshd that runs as the account itself).
    id -u "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user"
    case $(getent passwd "$user" | cut -d: -f7) in */nologin | */false) usermod --shell /bin/bash "$user" ;; esac
    local src bld home
    src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$1/CMakeCache.txt")
    bld=$(sed -n 's/^CMAKE_CACHEFILE_DIR:INTERNAL=//p' "$1/CMakeCache.txt")
    home=$(getent passwd "$user" | cut -d: -f6)
    UNPRIV_STAGE=$(mktemp -d /tmp/qvl-unprivileged-XXXXXX)
    local stage=$UNPRIV_STAGE
    mkdir -p "$stage/src" "$stage/build" "$stage/tmp" "$stage/foreign"
    tar -C "$src" --exclude=./.git --exclude='./build*' -cf - . | tar -C "$stage/src" -xf -
    tar -C "$bld" --exclude='*.o' --exclude=./Testing -cf - . | tar -C "$stage/build" -xf -
    find "$stage/build" \( -name '*.cmake' -o -name DartConfiguration.tcl \) -exec env STAGE="$stage" SRC="$src" BLD="$bld" \
        perl -pi -e 's/\Q$ENV{BLD}\E/$ENV{STAGE}\/build/g; s/\Q$ENV{SRC}\E/$ENV{STAGE}\/src/g' {} +
    chown -R "$user": "$stage/src" "$stage/build" "$stage/tmp"
    chmod 755 "$stage"
    (
        cd "$stage/foreign"
        mkdir -p current rotated shared
        : >current/Orra_QVL_Utility_log.txt
        : >rotated/Orra_QVL_Utility_log.1.txt
        printf '[WWAN]\nAPN=theirs\n' >shared/p.wwan
        chmod 0777 current rotated shared
        chmod 0666 current/* rotated/* shared/*
    )
    local as_user=(runuser -u "$user" -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$home" USER="$user"
                   LANG=C.UTF-8 NO_AT_BRIDGE=1 TMPDIR="$stage/tmp"
                   QVL_TEST_FOREIGN_DIR="$stage/foreign")
    "${as_user[@]}" ctest --test-dir "$stage/build" --output-on-failure --no-tests=error -j "$CTEST_JOBS"
    rm -rf "$stage"
    UNPRIV_STAGE=""
}

stage "Source format: every C++ file as .clang-format has it"
find app core editor link presets protocol qvlctl res sim tests -name '*.cpp' -o -name '*.h' |
    xargs clang-format --dry-run --Werror

stage "build and test"
build build
run_ctest build

stage "The suite as an ordinary user"
unprivileged_ctest build

stage "Debian package: build, inspect, install check, run from it"
"$ROOT/tests/packaging/package_test.sh" build

stage "AddressSanitizer + UndefinedBehaviorSanitizer, whole suite"
build build-asan -DQVL_SANITIZE=address
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    run_ctest build-asan -LE "^ansible$"

stage "ThreadSanitizer, thread tests"
# Only the programs of the thread tests (and the programs they start).
cmake -S "$ROOT" -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVL_SANITIZE=thread >/dev/null
cmake --build build-tsan -j "$JOBS" --target qvl_thread_tests
# Side by side like the other suites: the thread tests wait on the unit's
# timers and on pseudo-terminals more than they compute.
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
    run_ctest build-tsan -L thread

stage "Fuzz targets for the reply parser and the preset reader, bounded"
CC=clang CXX=clang++ cmake -S "$ROOT" -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQVL_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$JOBS" --target fuzz_replies fuzz_parser fuzz_ini
# New inputs go to the scratch folders; the kept inputs are only read.
mkdir -p build-fuzz/corpus-replies build-fuzz/corpus-parser build-fuzz/corpus-ini
build-fuzz/tests/protocol/fuzz_replies -max_total_time=60 -max_len=4096 -artifact_prefix=build-fuzz/ \
    build-fuzz/corpus-replies tests/protocol/corpus/replies
build-fuzz/tests/protocol/fuzz_parser -max_total_time=20 -artifact_prefix=build-fuzz/ build-fuzz/corpus-parser
build-fuzz/tests/presets/fuzz_ini -max_total_time=20 -max_len=4096 -artifact_prefix=build-fuzz/ \
    build-fuzz/corpus-ini tests/presets/corpus/ini

stage "Windows: cross-build, installer, tests under Wine"
# On this script's display; wx-msw is built once into its cache folder.
"$ROOT/scripts/windows.sh" all
