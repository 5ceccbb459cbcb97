#!/bin/bash
# Builds the Debian package from a finished build folder and checks it as a
# user's system sees it: control fields and files, that apt can install it,
# and that the programs extracted from it run: --help and --version without a
# display, and qvl-utility --simulate on the display in DISPLAY until it is
# connected. Also validates the desktop entry, the AppStream file and the
# udev rule.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail

BUILD=$(realpath "$1")
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
APP_ID=com.orra.QVLUtility

# Files the package must hold, besides a man page for every program in
# usr/bin and every page in docs/man.
EXPECTED_FILES=(
    usr/bin/qvl-utility
    usr/bin/qvl-unit-sim
    usr/bin/qvlctl
    usr/share/bash-completion/completions/qvlctl
    usr/share/applications/$APP_ID.desktop
    usr/share/metainfo/$APP_ID.metainfo.xml
    usr/lib/udev/rules.d/70-qvl-utility.rules
    usr/share/doc/qvl-utility/copyright
    usr/share/doc/qvl-utility/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
    EXPECTED_FILES+=("usr/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png")
done

SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/qvl-package.XXXXXX")
UTILITY_PID=""
cleanup() {
    if [ -n "$UTILITY_PID" ]; then
        kill -KILL "$UTILITY_PID" 2>/dev/null || true
        wait "$UTILITY_PID" 2>/dev/null || true
    fi
    rm -rf "$SCRATCH"
}
trap cleanup EXIT

errors=0
fail() { echo "FAIL: $*" >&2; errors=$((errors + 1)); }
step() { echo "-- $*"; }

step "build the package"
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
[ -n "$VERSION" ] || { echo "FAIL: no project version in $BUILD" >&2; exit 1; }
DEB="$BUILD/package/qvl-utility_${VERSION}_$(dpkg --print-architecture).deb"
rm -f "$DEB"
if ! (cd "$BUILD" && cpack -G DEB >"$SCRATCH/cpack.log" 2>&1) || [ ! -f "$DEB" ]; then
    cat "$SCRATCH/cpack.log" >&2
    echo "FAIL: cpack made no $DEB" >&2
    exit 1
fi
echo "$DEB ($(stat -c %s "$DEB") bytes)"

step "control fields"
[ "$(dpkg-deb --field "$DEB" Version)" = "$VERSION" ] || fail "Version is not $VERSION"
DEPENDS=$(dpkg-deb --field "$DEB" Depends)
echo "Depends: $DEPENDS"
for lib in libc6 libstdc++6 libwx; do
    [[ $DEPENDS == *"$lib"* ]] || fail "Depends lacks $lib"
done
for script in postinst postrm; do
    dpkg-deb --ctrl-tarfile "$DEB" | tar -tvf - "./$script" 2>/dev/null | grep -q '^-rwxr-xr-x' ||
        fail "no executable $script"
done

step "files in place"
dpkg-deb --contents "$DEB" | awk '{ print $6 }' | sed 's|^\./||' >"$SCRATCH/contents"
for file in "${EXPECTED_FILES[@]}"; do
    grep -qxF "$file" "$SCRATCH/contents" || fail "missing $file"
done
for page in "$ROOT"/docs/man/*.1; do
    grep -qxF "usr/share/man/man1/$(basename "$page").gz" "$SCRATCH/contents" || fail "missing man page of $page"
done
for program in $(grep '^usr/bin/.' "$SCRATCH/contents"); do
    grep -qxF "usr/share/man/man1/$(basename "$program").1.gz" "$SCRATCH/contents" || fail "$program has no man page"
done

step "lintian"
# Errors fail the test; warnings are printed for the reader.
if ! lintian --fail-on error --tag-display-limit 0 "$DEB" >"$SCRATCH/lintian.log" 2>&1; then
    cat "$SCRATCH/lintian.log" >&2
    fail "lintian reports errors"
else
    grep -v 'running with root privileges' "$SCRATCH/lintian.log" || true
fi

step "apt can install it"
apt-get install --simulate "$DEB" >"$SCRATCH/apt.log" 2>&1 || { cat "$SCRATCH/apt.log" >&2; fail "apt-get install --simulate"; }
grep -q "^Inst qvl-utility " "$SCRATCH/apt.log" || { cat "$SCRATCH/apt.log" >&2; fail "apt would not install qvl-utility"; }

step "extract"
R="$SCRATCH/root"
dpkg-deb -x "$DEB" "$R"
for program in "$R"/usr/bin/*; do
    file -b "$program" | grep -q 'ELF.*, stripped' || fail "$program is not a stripped program: $(file -b "$program")"
done

step "command line, without a display"
run() { # expected status, program, arguments...
    local want=$1
    shift
    local got=0
    env -u DISPLAY -u WAYLAND_DISPLAY "$@" >"$SCRATCH/out" 2>"$SCRATCH/err" || got=$?
    [ "$got" = "$want" ] || fail "$* exited $got, not $want: $(cat "$SCRATCH/err")"
}
cd "$SCRATCH"
for program in qvl-utility qvl-unit-sim qvlctl; do
    run 0 "$R/usr/bin/$program" --help
    grep -q "^Usage: $program " "$SCRATCH/out" || fail "$program --help prints no usage"
    [ ! -s "$SCRATCH/err" ] || fail "$program --help writes to stderr"
    run 0 "$R/usr/bin/$program" --version
    [ "$(cat "$SCRATCH/out")" = "$program $VERSION" ] || fail "$program --version prints '$(cat "$SCRATCH/out")'"
    run 2 "$R/usr/bin/$program" --no-such-option
    [ ! -s "$SCRATCH/out" ] || fail "$program with an unknown option writes to stdout"
    head -1 "$SCRATCH/err" | grep -q "^$program: unknown option.*--no-such-option" ||
        fail "$program with an unknown option says '$(head -1 "$SCRATCH/err")'"
    grep -q "^Usage: $program " "$SCRATCH/err" || fail "$program with an unknown option shows no usage"
done
run 2 "$R/usr/bin/qvl-utility" --simulate extra
run 0 "$R/usr/bin/qvl-utility" --log=DEBUGGING --version
[ ! -e "$SCRATCH/Orra_QVL_Utility_log.txt" ] || fail "a refused command line still started a log"

step "qvl-utility --simulate from the package connects"
if [ -z "${DISPLAY:-}" ]; then
    fail "DISPLAY is not set"
else
    HOME_DIR="$SCRATCH/home"
    mkdir -m 700 "$HOME_DIR"
    LOG="$HOME_DIR/Orra_QVL_Utility_log.txt"
    (cd "$HOME_DIR" && HOME="$HOME_DIR" XDG_RUNTIME_DIR="$HOME_DIR" NO_AT_BRIDGE=1 \
        exec "$R/usr/bin/qvl-utility" --simulate >"$SCRATCH/utility.out" 2>&1) &
    UTILITY_PID=$!
    # The window shows "Connected" right after the log says so (flushed
    # every 3 s).
    connected=""
    for _ in $(seq 1 200); do
        if grep -q 'CQVLUtilityDlg::DisplayQvlInfo: connect$' "$LOG" 2>/dev/null; then
            connected=yes
            break
        fi
        kill -0 "$UTILITY_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$connected" ]; then
        fail "no connection within 20 s: $(cat "$SCRATCH/utility.out" "$LOG" 2>/dev/null)"
    else
        grep -q 'QvlVersion:VER ' "$LOG" || fail "the log has no unit identity"
        ! grep -q '\[error\]' "$LOG" || fail "the log has errors: $(grep '\[error\]' "$LOG")"
        window=$(timeout 10 xdotool search --sync --onlyvisible --pid "$UTILITY_PID" --name 'Orra QVL Utility' | head -1)
        [ -n "$window" ] || fail "no visible window"
        status=""
        for _ in 1 2 3; do
            [ -n "$window" ] && timeout 10 xdotool windowfocus --sync "$window" key Escape 2>/dev/null || true
            for _ in $(seq 1 40); do
                kill -0 "$UTILITY_PID" 2>/dev/null || break
                sleep 0.1
            done
            if ! kill -0 "$UTILITY_PID" 2>/dev/null; then
                status=0
                wait "$UTILITY_PID" || status=$?
                UTILITY_PID=""
                break
            fi
        done
        [ "$status" = 0 ] || fail "qvl-utility did not end with 0 on Esc (status '${status:-still running}')"
    fi
fi

step "desktop entry, AppStream file, udev rule"
desktop-file-validate "$R/usr/share/applications/$APP_ID.desktop" || fail "desktop-file-validate"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$R/usr/share/applications/$APP_ID.desktop")
[ -x "$R/usr/bin/$exec_name" ] || fail "the desktop entry starts '$exec_name', which is not in usr/bin"
icon_name=$(sed -n 's/^Icon=//p' "$R/usr/share/applications/$APP_ID.desktop")
[ -f "$R/usr/share/icons/hicolor/48x48/apps/$icon_name.png" ] || fail "the desktop entry's icon '$icon_name' is not in hicolor"
appstreamcli validate --no-net "$R/usr/share/metainfo/$APP_ID.metainfo.xml" || fail "appstreamcli validate"
RULE="$R/usr/lib/udev/rules.d/70-qvl-utility.rules"
if udevadm verify --help >/dev/null 2>&1; then
    udevadm verify --resolve-names=never "$RULE" || fail "udevadm verify"
else
    echo "(this udevadm has no verify: keys checked by check_udev_rule.sh)"
fi
"$HERE/check_udev_rule.sh" "$RULE" || fail "check_udev_rule.sh"

if [ "$errors" -ne 0 ]; then
    echo "package test: $errors failures" >&2
    exit 1
fi
echo "package test: passed"
