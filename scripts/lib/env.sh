# Shared set-up for scripts/test, scripts/run and scripts/bench. Source it; do not run it.
# Installs what is missing, configures and builds, and prepares Wine, Xvfb and wineserver.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export WINEDEBUG=-all
# winemenubuilder would turn the installer's Start-menu entry into a Linux desktop entry.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# Every prefix these scripts use is chosen below; one inherited from the caller is never touched.
unset WINEPREFIX THROWAWAY_PREFIX

vantrel_install() {
    local missing=()
    command -v cmake >/dev/null || missing+=(cmake)
    command -v ninja >/dev/null || missing+=(ninja-build)
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
    command -v x86_64-w64-mingw32-widl >/dev/null || missing+=(mingw-w64-tools)
    command -v wine >/dev/null || missing+=(wine wine64)
    command -v Xvfb >/dev/null || missing+=(xvfb xauth)
    command -v xwd >/dev/null || missing+=(x11-apps)
    command -v xwininfo >/dev/null || missing+=(x11-utils)
    command -v makensis >/dev/null || missing+=(nsis)
    command -v oathtool >/dev/null || missing+=(oathtool)
    command -v osslsigncode >/dev/null || missing+=(osslsigncode)
    command -v zbarimg >/dev/null || missing+=(zbar-tools)
    [ -x /usr/bin/convert ] && /usr/bin/convert -version >/dev/null 2>&1 || missing+=(imagemagick)
    [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
    command -v chmcmd >/dev/null && { command -v 7zz || command -v 7z; } >/dev/null || missing+=(fp-utils 7zip)
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq >/dev/null
        apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

vantrel_build() {
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-Release} >/dev/null
    cmake --build "$BUILD_DIR" "$@"
}

# The user's installation: the prefix in which scripts/run starts the program, with the store
# the user made there. Only scripts/run and the program itself touch it; made once, then kept.
vantrel_user_prefix() {
    export WINEPREFIX=$BUILD_DIR/wineprefix
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Making Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null
        wineserver -w
    fi
    # As on Windows, the report (.txt) and the service's log (.log) open in Notepad; a new Wine
    # prefix knows Notepad's "txtfile" class but maps no file type to it.
    local marker="$WINEPREFIX/.vantrel-text-files"
    if [ ! -f "$marker" ]; then
        wine reg add 'HKCR\.txt' /ve /d txtfile /f </dev/null >/dev/null 2>&1
        wine reg add 'HKCR\.log' /ve /d txtfile /f </dev/null >/dev/null 2>&1
        touch "$marker"
    fi
}

# A throwaway prefix for tests and benchmarks, never the user's: made anew in a temporary
# folder (a WINEPREFIX inherited from the caller is ignored) and removed by vantrel_stop.
vantrel_throwaway_prefix() {
    local base
    base=$(cd "${TMPDIR:-/tmp}" && pwd)
    THROWAWAY_PREFIX=$(mktemp -d "$base/vantrel-$1.XXXXXX")
    export WINEPREFIX=$THROWAWAY_PREFIX
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
}

# Xvfb on the first free display number from 90 (or DISPLAY_NUM when given).
vantrel_start_xvfb() {
    local n=${DISPLAY_NUM:-90}
    if [ -z "${DISPLAY_NUM:-}" ]; then
        while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
    fi
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do
        [ -e /tmp/.X11-unix/X$n ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on :$n" >&2
    return 1
}

# A persistent wineserver, detached from our output so that ctest never waits on it.
vantrel_start_wineserver() {
    wineserver -p </dev/null >/dev/null 2>&1 &
    disown
    # Any first Wine process waits for the server; make that wait here, not in a test.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Without a window manager on Xvfb, Wine waits about 2 s for every managed window it hides (each
# closed dialog). Test prefixes let Wine manage its windows itself, which takes about 20 ms.
vantrel_wine_unmanaged() {
    local marker="$WINEPREFIX/.vantrel-unmanaged"
    [ -f "$marker" ] && return 0
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    touch "$marker"
}

vantrel_stop() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    # Only ever the folder that vantrel_throwaway_prefix made, never the user's prefix.
    case "${THROWAWAY_PREFIX:-}" in
        /*/vantrel-test.* | /*/vantrel-bench.* | /*/vantrel-shots.*) rm -rf "$THROWAWAY_PREFIX" ;;
    esac
}

# --- Used by scripts/run ---

# A store as a running installation has it: preferences, and for every account that Wine
# reports (the current Linux user) settings and today's usage on this and two other computers.
# Settings already in the prefix are kept, so changes made in the program survive a restart;
# the usage is written for today on every run.
vantrel_seed_store() {
    local reg="$BUILD_DIR/seed-store.reg"
    local weekday day suffix user computer settings=1 name minutes
    weekday=$(date +%u)
    day=$((10#$(date +%j)))
    suffix=$(echo Mon Tue Wed Thu Fri Sat Sun | cut -d' ' -f"$weekday")
    user=$(id -un)
    computer=$(hostname -s | tr '[:lower:]' '[:upper:]' | cut -c1-15)
    if wine reg query "HKLM\\System\\QOR\\Users\\$user" /v QorControl </dev/null >/dev/null 2>&1; then
        settings=0
    fi
    hex() { printf 'dword:%08x' "$1"; }
    {
        echo 'REGEDIT4'
        if [ "$settings" = 1 ]; then
            echo
            echo '[HKEY_LOCAL_MACHINE\System\QOR\Preferences]'
            echo "\"Use24HourClock\"=$(hex 1)"
            echo "\"DoubleClickIsTimeUsage\"=$(hex 0)"
            echo "\"RptTimeUsagePerComputer\"=$(hex 1)"
            echo "\"UseRemoteRegistry\"=$(hex 0)"
            echo '"RemoteRegistry"=""'
            echo '"MsgNotAllowedText"="You are not allowed to access the computer at this time. Press OK to logoff."'
            echo '"MsgWarningText"="You have %d minutes left before your time limit ends for today."'
            echo '"MsgReachedLimitText"="You have reached your time limit for today. Press OK to logoff."'
            echo "\"DoNotForceLogoff\"=$(hex 0)"
            echo "\"UseDebugLogging\"=$(hex 0)"
            echo
            echo "[HKEY_LOCAL_MACHINE\\System\\QOR\\Users\\$user]"
            echo "\"QorControl\"=$(hex 1)"
            for d in Mon Tue Wed Thu Fri Sat Sun; do echo "\"AllowBegin$d\"=$(hex 7)"; done
            for d in Mon Tue Wed Thu Fri Sat Sun; do echo "\"AllowEnd$d\"=$(hex 21)"; done
            for d in Mon Tue Wed Thu; do echo "\"TimeLimit$d\"=$(hex 90)"; done
            for d in Fri Sat Sun; do echo "\"TimeLimit$d\"=$(hex 150)"; done
            echo "\"BonusTime\"=$(hex 30)"
            echo "\"BonusDayOfYear\"=$(hex "$day")"
        fi
        for pair in "$computer:35" "KITCHEN-PC:20" "STUDY-LAPTOP:12"; do
            name=${pair%%:*}
            minutes=${pair##*:}
            echo
            echo "[HKEY_LOCAL_MACHINE\\System\\QOR\\Users\\$user\\Computers\\$name]"
            echo "\"TimeUsage$suffix\"=$(hex "$minutes")"
            echo "\"DayOfYear$suffix\"=$(hex "$day")"
        done
    } >"$reg"
    wine regedit /S "$(winepath -w "$reg")" </dev/null >/dev/null 2>&1
}

# True once an X window named "Vantrel" is mapped on the display.
vantrel_main_window_shown() {
    xwininfo -root -tree 2>/dev/null | grep -q '"Vantrel": ('
}
