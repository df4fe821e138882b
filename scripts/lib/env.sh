# Shared set-up for scripts/test, scripts/run and scripts/bench. Source it; do not run it.
# Installs what is missing, configures and builds, and prepares Wine, Xvfb and wineserver.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEARCH=win64

vantrel_install() {
    local missing=()
    command -v cmake >/dev/null || missing+=(cmake)
    command -v ninja >/dev/null || missing+=(ninja-build)
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
    command -v x86_64-w64-mingw32-widl >/dev/null || missing+=(mingw-w64-tools)
    command -v wine >/dev/null || missing+=(wine wine64)
    command -v Xvfb >/dev/null || missing+=(xvfb xauth)
    command -v xwd >/dev/null || missing+=(x11-apps)
    [ -x /usr/bin/convert ] && /usr/bin/convert -version >/dev/null 2>&1 || missing+=(imagemagick)
    [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
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

# A Wine prefix of the build's own; made once, reused afterwards.
vantrel_wine_prefix() {
    export WINEPREFIX=${WINEPREFIX:-$BUILD_DIR/wineprefix}
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Making Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null
        wineserver -w
    fi
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

vantrel_stop() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
}
