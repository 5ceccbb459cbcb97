#!/bin/bash
# Windows build of the utility, cross-compiled with MinGW-w64 and tested under
# Wine on this Linux machine.
#
#   scripts/windows.sh prepare   toolchain packages + the static wx-msw cache
#   scripts/windows.sh build     cross-build the utility, tests and packages
#   scripts/windows.sh test      run the cross-built tests and the utility under Wine
#   scripts/windows.sh           all three
#
# wx-msw is built once into $QVL_WIN_CACHE (default /var/cache/qvl-utility),
# keyed by its version and host, and reused while it is present.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=${JOBS:-$(nproc)}
HOST=x86_64-w64-mingw32
WX_VERSION=3.2.2
VERSION=$(sed -n 's/^project(QVLUtility VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
CACHE=${QVL_WIN_CACHE:-/var/cache/qvl-utility}
WX_PREFIX="$CACHE/wx-msw-$WX_VERSION-x86_64"
BUILD_DIR=${QVL_WIN_BUILD:-$ROOT/build-win}

PACKAGES="g++-mingw-w64-x86-64 libz-mingw-w64-dev wine64 wine nsis dpkg-dev \
googletest libspdlog-dev libfmt-dev libcli11-dev nlohmann-json3-dev cmake xvfb xauth xdotool imagemagick x11-utils zip unzip"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local missing="" p
    for p in $PACKAGES; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $p"
        fi
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
    # shellcheck disable=SC2086
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends $missing
}

# Debian's source package of wxWidgets; its deb-src entry is added when missing.
fetch_wx_source() { # dest dir
    local dest=$1
    if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ \
        && ! grep -qs '^deb-src' /etc/apt/sources.list; then
        as_root sh -c 'cat > /etc/apt/sources.list.d/qvl-deb-src.sources <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC'
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
    fi
    mkdir -p "$dest"
    (cd "$dest" && apt-get source -q wxwidgets3.2="$WX_VERSION*" >/dev/null 2>&1 \
        || apt-get source -q wxwidgets3.2)
}

build_wx() {
    if [ -f "$WX_PREFIX/.complete" ]; then
        return 0
    fi
    echo "wx-msw $WX_VERSION is not in $WX_PREFIX: building it once (about ten minutes on two cores)"
    local started=$SECONDS
    local src
    src=$(mktemp -d "${TMPDIR:-/tmp}/qvl-wxsrc.XXXXXX")
    fetch_wx_source "$src"
    local dir
    dir=$(find "$src" -maxdepth 1 -type d -name 'wxwidgets3.2-*' | head -n1)
    [ -n "$dir" ] || { echo "wxWidgets source not found" >&2; exit 1; }
    as_root mkdir -p "$CACHE"
    mkdir -p "$dir/build-msw"
    (
        cd "$dir/build-msw"
        # The posix thread model: std::thread needs it, and wx is built with
        # the same compiler the utility is.
        ../configure --host=$HOST --build="$(gcc -dumpmachine)" --prefix="$WX_PREFIX" \
            CC=$HOST-gcc-posix CXX=$HOST-g++-posix \
            --with-msw --disable-shared --enable-unicode \
            --with-zlib=sys --without-libpng --without-libjpeg --without-libtiff \
            --without-expat --without-regex --without-liblzma --without-libcurl \
            --disable-xrc --disable-webview --disable-mediactrl --disable-stc \
            --disable-svg --disable-richtext --disable-ribbon --disable-propgrid --disable-aui \
            --disable-html --disable-htmlhelp --disable-sound \
            --without-opengl --disable-debugreport --disable-help \
            --disable-protocol --disable-sockets --disable-url --disable-fs_inet \
            --disable-webrequest \
            >configure.log 2>&1 || { tail -n 40 configure.log; exit 1; }
        nice -n 19 make -j"$JOBS" >make.log 2>&1 || { tail -n 60 make.log; exit 1; }
        as_root make install >install.log 2>&1 || { tail -n 40 install.log; exit 1; }
    )
    as_root touch "$WX_PREFIX/.complete"
    rm -rf "$src"
    echo "wx-msw $WX_VERSION built in $(( SECONDS - started )) s"
}

prepare() {
    install_packages
    build_wx
}

build_windows() {
    local wx_args=()
    if [ -f "$WX_PREFIX/.complete" ]; then
        wx_args=(-DwxWidgets_CONFIG_EXECUTABLE="$WX_PREFIX/bin/wx-config")
    elif [ "${QVL_WIN_CORE_ONLY:-0}" = 1 ]; then
        echo "wx-msw is not built: the display-free core and its tests only"
    else
        echo "wx-msw is not built: run $0 prepare (or set QVL_WIN_CORE_ONLY=1)" >&2
        exit 1
    fi
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release "${wx_args[@]}" >/dev/null
    nice cmake --build "$BUILD_DIR" -j "$JOBS"
    if [ -f "$WX_PREFIX/.complete" ]; then
        (cd "$BUILD_DIR" && cpack -G "NSIS;ZIP" >cpack.log 2>&1) || { tail -n 40 "$BUILD_DIR/cpack.log"; exit 1; }
        ls -l "$BUILD_DIR"/qvl-utility-*-win64.exe "$BUILD_DIR"/qvl-utility-*-win64.zip
    fi
}

# ---- Tests under Wine ----------------------------------------------------------

# shellcheck source=scripts/xvfb.sh
. "$ROOT/scripts/xvfb.sh"
SIM_PID=""
APP_PID=""
WORK=""
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    stop_unit
    stop_second_unit
    # The program's log stays with the build for a look after a failure.
    [ -n "$WORK" ] && [ -f "$WORK/app/Orra_QVL_Utility_log.txt" ] \
        && cp "$WORK/app/Orra_QVL_Utility_log.txt" "$BUILD_DIR/windows-app-log.txt"
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
    stop_xvfb
    [ -n "$WORK" ] && rm -rf "$WORK"
    return 0
}


wine_run() {
    "$ROOT/cmake/wine-run.sh" "$@"
}

# Waits up to $2 seconds for a line matching $1 in file $3.
wait_for_line() {
    for _ in $(seq 1 $(( $2 * 10 ))); do
        grep -q -- "$1" "$3" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "timed out waiting for '$1' in $3" >&2
    return 1
}

stop_unit() {
    if [ -n "$SIM_PID" ]; then
        exec 7>&- 2>/dev/null || true    # end of input: the unit quits
        wait "$SIM_PID" 2>/dev/null || true
        SIM_PID=""
    fi
}

# The Linux virtual unit on a pty, mapped into the prefix as COM5, with a new
# state file. Its input stays open on fd 7; closing it ends the unit.
start_unit() {
    local sim=$ROOT/build/sim/qvl-unit-sim
    if [ ! -x "$sim" ]; then
        cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        cmake --build "$ROOT/build" -j "$JOBS" --target qvl-unit-sim
    fi
    rm -f "$WORK/unit-in" "$WORK/unit-out" "$WORK/unit.state"
    mkfifo "$WORK/unit-in"
    "$sim" --link="$WORK/unit-port" --state="$WORK/unit.state" "$@" <"$WORK/unit-in" >"$WORK/unit-out" 2>&1 &
    SIM_PID=$!
    exec 7>"$WORK/unit-in"
    wait_for_line unit-port 10 "$WORK/unit-out"
    mkdir -p "$WINEPREFIX/dosdevices"
    ln -sfn "$WORK/unit-port" "$WINEPREFIX/dosdevices/com5"
}

# A second virtual unit, mapped as COM6, for qvlctl's --all; its input on fd 8.
SIM2_PID=""
start_second_unit() {
    local sim=$ROOT/build/sim/qvl-unit-sim
    rm -f "$WORK/unit2-in" "$WORK/unit2-out" "$WORK/unit2.state"
    mkfifo "$WORK/unit2-in"
    "$sim" --link="$WORK/unit2-port" --state="$WORK/unit2.state" --serial=87654321 "$@" \
        <"$WORK/unit2-in" >"$WORK/unit2-out" 2>&1 &
    SIM2_PID=$!
    exec 8>"$WORK/unit2-in"
    wait_for_line unit2-port 10 "$WORK/unit2-out"
    ln -sfn "$WORK/unit2-port" "$WINEPREFIX/dosdevices/com6"
}

stop_second_unit() {
    if [ -n "$SIM2_PID" ]; then
        exec 8>&- 2>/dev/null || true
        wait "$SIM2_PID" 2>/dev/null || true
        SIM2_PID=""
    fi
}

fail() {
    echo "$*" >&2
    exit 1
}

# Runs the installed qvlctl.exe; its stdout (without Windows' line ends) in
# $WORK/ctl-out, stderr in $WORK/ctl-err, the exit status in CTL_STATUS.
CTL_STATUS=0
run_qvlctl() {
    CTL_STATUS=0
    (cd "$WORK/app" && "$ROOT/cmake/wine-run.sh" "$QVLCTL" "$@") >"$WORK/ctl-out.raw" 2>"$WORK/ctl-err" || CTL_STATUS=$?
    tr -d '\r' <"$WORK/ctl-out.raw" >"$WORK/ctl-out"
}

# qvlctl.exe against the virtual units through their COM ports: identity,
# a write that is read back, a preset named in letters outside the ANSI code
# page, --all over two units, and a port that is not there (exit status 3,
# the reason from the system's error code).
test_qvlctl() {
    run_qvlctl --port=COM5 info
    [ "$CTL_STATUS" -eq 0 ] || fail "qvlctl info ended with $CTL_STATUS: $(cat "$WORK/ctl-err")"
    grep -q "12345678" "$WORK/ctl-out" || fail "qvlctl info did not show the unit's serial number: $(cat "$WORK/ctl-out")"

    run_qvlctl --port=COM5 set wwan2.apn=ctl.example
    [ "$CTL_STATUS" -eq 0 ] || fail "qvlctl set ended with $CTL_STATUS: $(cat "$WORK/ctl-err")"
    grep -q "written" "$WORK/ctl-out" || fail "qvlctl set did not say written: $(cat "$WORK/ctl-out")"
    grep -qx "2 apn ctl.example" "$WORK/unit.state" || fail "the unit does not hold what qvlctl wrote"

    # Greek and CJK letters: the name reaches the program only as wide text.
    run_qvlctl --port=COM5 get
    [ "$CTL_STATUS" -eq 0 ] || fail "qvlctl get ended with $CTL_STATUS: $(cat "$WORK/ctl-err")"
    sed 's/^APN=ctl.example$/APN=wide.example/' "$WORK/ctl-out" >"$WORK/app/ρύθμιση-設定.all"
    run_qvlctl --port=COM5 write "ρύθμιση-設定.all"
    [ "$CTL_STATUS" -eq 0 ] || fail "qvlctl write of a preset with a Greek and CJK name ended with $CTL_STATUS: $(cat "$WORK/ctl-err")"
    grep -qx "2 apn wide.example" "$WORK/unit.state" || fail "the unit does not hold the preset with a Greek and CJK name"

    start_second_unit
    run_qvlctl --port=COM5 --port=COM6 --all --json info
    [ "$CTL_STATUS" -eq 0 ] || fail "qvlctl --all info ended with $CTL_STATUS: $(cat "$WORK/ctl-err")"
    [ "$(grep -c '"serial"' "$WORK/ctl-out")" -eq 2 ] && grep -q 12345678 "$WORK/ctl-out" && grep -q 87654321 "$WORK/ctl-out" \
        || fail "qvlctl --all did not answer for both units: $(cat "$WORK/ctl-out")"
    run_qvlctl --port=COM5 --port=COM6 --all set wifi.ssid=both
    [ "$CTL_STATUS" -eq 0 ] || fail "qvlctl --all set ended with $CTL_STATUS: $(cat "$WORK/ctl-err")"
    grep -qx "w ssid both" "$WORK/unit.state" && grep -qx "w ssid both" "$WORK/unit2.state" \
        || fail "qvlctl --all set did not reach both units"
    stop_second_unit

    run_qvlctl --port=COM9 info
    [ "$CTL_STATUS" -eq 3 ] || fail "qvlctl on a missing port ended with $CTL_STATUS, not 3"
    grep -q "the unit is not there" "$WORK/ctl-err" || fail "qvlctl's reason for a missing port: $(cat "$WORK/ctl-err")"
    run_qvlctl --port=COM5 bogus
    [ "$CTL_STATUS" -eq 2 ] || fail "qvlctl with an unknown command ended with $CTL_STATUS, not 2"
    echo "qvlctl.exe read, wrote and read back one unit and two with --all; a missing port ended with 3."
}

# The window program's command-line texts appear in a message box (there is
# no console); its exit statuses are the Linux program's.
test_command_line_box() { # expected status, arguments...
    local expected=$1
    shift
    local status=0 pid
    ("$ROOT/cmake/wine-run.sh" "$installed/qvl-utility.exe" "$@") &
    pid=$!
    local wid
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name "^Orra QVL Utility$" | head -1)
    [ -n "$wid" ] || fail "qvl-utility $* showed no message box"
    import -window root "$BUILD_DIR/windows-command-line-$expected.png"
    xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
    xdotool key Return
    wait "$pid" || status=$?
    [ "$status" -eq "$expected" ] || fail "qvl-utility $* ended with $status, not $expected"
}

test_windows() {
    trap cleanup EXIT
    WORK=$(mktemp -d "${TMPDIR:-/tmp}/qvl-win-test.XXXXXX")
    export WINEPREFIX=${QVL_WINEPREFIX:-$CACHE/wine-prefix}
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEDEBUG=-all
    [ -n "${DISPLAY:-}" ] || start_xvfb 150 199
    export NO_AT_BRIDGE=1
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wine_run wineboot -i >/dev/null 2>&1
        wineserver -w
    fi

    start_unit
    # The unit's command input as Wine sees it: the Unix root is drive Z:.
    # The port tests must run here: without the port they fail, not skip.
    QVL_TEST_COM=COM5 QVL_TEST_UNIT_CONTROL="Z:${WORK//\//\\}\\unit-in" QVL_TEST_REQUIRE_COM=1 \
        ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error
    stop_unit

    if [ ! -f "$BUILD_DIR/app/qvl-utility.exe" ]; then
        echo "No qvl-utility.exe (built without wx-msw): the program was not run; qvlctl.exe as built."
        start_unit
        QVLCTL="$BUILD_DIR/qvlctl/qvlctl.exe"
        mkdir -p "$WORK/app"
        test_qvlctl
        return 0
    fi
    # The serial tests leave values in the unit that the form would refuse
    # (a space in a password): the program gets a unit of its own.
    start_unit --init=1.apn=old.example --init=w.ssid=office

    # The installer, silent: the program, its uninstaller, a Start menu entry
    # and an entry in the system's list of programs.
    local installed="$WINEPREFIX/drive_c/Program Files/Orra QVL Utility"
    local menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orra QVL Utility"
    local uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orra QVL Utility'
    wine_run "$BUILD_DIR/qvl-utility-$VERSION-win64.exe" /S
    wineserver -w
    [ -f "$installed/qvl-utility.exe" ] && [ -f "$installed/Uninstall.exe" ] && [ -f "$menu/Orra QVL Utility.lnk" ] \
        || { echo "the installer did not install the program and its Start menu entry" >&2; exit 1; }
    wine_run reg query "$uninstall_key" >/dev/null 2>&1 || { echo "the installer did not register its uninstaller" >&2; exit 1; }
    [ -f "$installed/qvlctl.exe" ] || fail "the installer did not install qvlctl.exe"
    unzip -l "$BUILD_DIR/qvl-utility-$VERSION-win64.zip" | grep -q " qvlctl.exe$" || fail "the zip holds no qvlctl.exe"
    QVLCTL="$installed/qvlctl.exe"
    mkdir -p "$WORK/app"
    test_qvlctl

    test_command_line_box 0 --help
    test_command_line_box 2 --no-such-option

    # The installed program against the unit: it connects by itself, the form
    # shows what the unit holds, a changed APN is written with the keyboard.
    local log=$WORK/app/Orra_QVL_Utility_log.txt
    mkdir -p "$WORK/app"
    (cd "$WORK/app" && exec "$ROOT/cmake/wine-run.sh" "$installed/qvl-utility.exe" --port=COM5 --log=DEBUG) &
    APP_PID=$!
    wait_for_line "GetQvlComPort num:1, port:COM5" 60 "$log"
    wait_for_line "QvlVersion:VER 1.0.4 QvlMcuID:MCUID 0123ABCD QvlSerial: 12345678" 30 "$log"
    wait_for_line "Display WWAN 1 APN old.example" 30 "$log"
    local wid
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name "Orra QVL Utility" | head -1)
    [ -n "$wid" ] || { echo "the program's window did not appear" >&2; exit 1; }
    xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
    sleep 1
    import -window root "$BUILD_DIR/windows-connected.png"
    # Focus starts on WWAN1's Load Preset; two Tabs reach its APN.
    xdotool key --delay 100 Tab Tab ctrl+a
    xdotool type --delay 50 "new.example"
    # From the APN to Write: the rest of WWAN1 to WWAN4, the Wi-Fi group,
    # Erase and Reload.
    xdotool key --delay 60 --repeat 34 Tab
    xdotool key space
    wait_for_line "Write WWAN 1 APN new.example" 30 "$log"
    wait_for_line "Write Successfully" 30 "$log"
    timeout 30 xdotool search --sync --onlyvisible --name "Write Result" >/dev/null \
        || { echo "the write's result box did not appear" >&2; exit 1; }
    import -window root "$BUILD_DIR/windows-written.png"
    grep -qx "1 apn new.example" "$WORK/unit.state" || { echo "the unit does not hold the written APN" >&2; exit 1; }
    # Enter closes the message, Esc the program, which then exits 0.
    xdotool key Return
    for _ in $(seq 1 100); do
        xdotool search --onlyvisible --name "Write Result" >/dev/null 2>&1 || break
        sleep 0.1
    done
    if xdotool search --onlyvisible --name "Write Result" >/dev/null 2>&1; then
        echo "Enter did not close the write's result box" >&2
        exit 1
    fi
    # The system menu (Alt+Space) ends with the About entry, which opens the
    # same About box as the About menu. Up from the first item reaches the
    # last (Wine's own "About Wine" shares the mnemonic A).
    xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
    xdotool key alt+space
    sleep 1
    import -window root "$BUILD_DIR/windows-system-menu.png"
    xdotool key Up Return
    timeout 30 xdotool search --sync --onlyvisible --name "About Orra QVL Utility" >/dev/null \
        || fail "the system menu's About entry did not open the About box"
    wait_for_line "CQVLUtilityDlg::OnAboutAbout" 10 "$log"
    xdotool key Return
    for _ in $(seq 1 100); do
        xdotool search --onlyvisible --name "About Orra QVL Utility" >/dev/null 2>&1 || break
        sleep 0.1
    done
    xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
    xdotool key Escape
    for _ in $(seq 1 100); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$APP_PID" 2>/dev/null; then
        echo "the program did not end on Esc" >&2
        exit 1
    fi
    local status=0
    wait "$APP_PID" || status=$?
    APP_PID=""
    if [ "$status" -ne 0 ]; then
        echo "the program ended on Esc with exit status $status, not 0" >&2
        exit 1
    fi

    # The uninstaller takes all of it away again.
    wine_run "$installed/Uninstall.exe" /S
    wineserver -w
    if [ -e "$installed" ] || [ -e "$menu" ] || wine_run reg query "$uninstall_key" >/dev/null 2>&1; then
        echo "the uninstaller left the program, its Start menu entry or its registration" >&2
        exit 1
    fi
    echo "The installed Windows program connected, wrote with the keyboard, and the unit holds the values;"
    echo "the uninstaller removed it."
    echo "Screenshots: $BUILD_DIR/windows-connected.png $BUILD_DIR/windows-written.png"
}

step=${1:-all}
case "$step" in
    prepare) prepare ;;
    build) build_windows ;;
    test) test_windows ;;
    all) prepare; build_windows; test_windows ;;
    *) echo "usage: $0 [prepare|build|test|all]" >&2; exit 2 ;;
esac
