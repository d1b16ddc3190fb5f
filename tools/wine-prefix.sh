# Shell functions that prepare a build tree's private Wine prefix; sourced by tools/test-session
# and tools/dry-run. The user's own prefix is never touched.
#
# A build tree belongs to one lane: the 32-bit program under 32-bit Wine (win32), or the 64-bit
# test build under 64-bit Wine (win64). CMake writes the lane into BUILD_DIR/wine-arch.

KALIBRIX_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$KALIBRIX_REPO/tools/machine-mode.sh"

WINE32_LOADER=${KALIBRIX_WINE32_LOADER:-/usr/lib/wine/wine}
WINE64_LOADER=/usr/lib/wine/wine64

# The Wine loader of a lane (win32 or win64).
wine_loader_of() {
    if [ "$1" = win64 ]; then
        echo "$WINE64_LOADER"
    else
        echo "$WINE32_LOADER"
    fi
}

# Whether this machine can run the Wine of a lane (win32 or win64); when it cannot, says why in
# WINE_LANE_PROBLEM. Running the loader once tells: on a machine without a 32-bit mode the
# 32-bit loader fails with "Exec format error". Where tools/install-deps left 32-bit Wine out,
# the machine's probe or the installer's note says why.
wine_lane_runs() {
    local loader output note=${KALIBRIX_WINE32_NOTE:-$KALIBRIX_REPO/build/wine32-missing}
    loader=$(wine_loader_of "$1")
    WINE_LANE_PROBLEM=""
    if [ ! -x "$loader" ]; then
        if [ "$1" = win32 ] && ! machine_runs_32bit; then
            WINE_LANE_PROBLEM="this machine cannot run 32-bit programs ($PROBE32_PROBLEM)"
        elif [ "$1" = win32 ] && [ -s "$note" ]; then
            WINE_LANE_PROBLEM="32-bit Wine is not installed: $(head -n 1 "$note")"
        else
            WINE_LANE_PROBLEM="$loader is not installed (tools/install-deps installs it)"
        fi
        return 1
    fi
    if ! output=$("$loader" --version 2>&1 </dev/null); then
        # The shell's own words, without the name and line of this script.
        output=$(echo "$output" | tail -n 1 | sed 's/^.*: line [0-9]*: //')
        WINE_LANE_PROBLEM="this machine cannot run ${1#win}-bit programs ($output)"
        return 1
    fi
}

# Points Wine at the prefix and the loader of BUILD_DIR's lane. KALIBRIX_WINE is the command
# that runs a Windows program there (tools/wine-run uses it as CTest's emulator).
wine_environment() {
    local build_dir=$1 arch=win32
    if [ -f "$build_dir/wine-arch" ]; then
        arch=$(cat "$build_dir/wine-arch")
    fi
    export WINEPREFIX="$build_dir/wineprefix"
    export WINEARCH=$arch
    export WINEDEBUG=-all
    # No installer dialogs for .NET or the HTML engine.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    # The loader by name: Debian's `wine` takes the 32-bit one wherever it is installed, also
    # on a machine that cannot run it.
    KALIBRIX_WINE=$(wine_loader_of "$arch")
    export KALIBRIX_WINE
    if [ "$arch" = win64 ]; then
        export WINELOADER=$KALIBRIX_WINE
    else
        unset WINELOADER
    fi
}

# Makes the prefix of BUILD_DIR once (a display must be set). The marker is written only after a
# complete preparation; a new marker name makes old prefixes be prepared anew. Says what failed
# and returns non-zero when the prefix cannot be made.
prepare_wine_prefix() {
    local build_dir=$1
    wine_environment "$build_dir"
    [ -f "$WINEPREFIX/.kalibrix-prefix-3" ] && return 0
    if ! wine_lane_runs "$WINEARCH"; then
        echo "wine: cannot prepare the $WINEARCH prefix in $build_dir: $WINE_LANE_PROBLEM" >&2
        return 1
    fi
    rm -rf "$WINEPREFIX"
    echo "preparing the Wine prefix $WINEPREFIX ($WINEARCH, once per build tree)"
    if ! "$KALIBRIX_WINE" wineboot --init >"$build_dir/wineboot.log" 2>&1 || ! wineserver -w ||
        [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: the Wine prefix $WINEPREFIX could not be made; see $build_dir/wineboot.log." \
            "Remove $WINEPREFIX and try again." >&2
        return 1
    fi

    # Wine's own fonts (Tahoma, Marlett for the caption buttons) come with fonts-wine, but this
    # Wine does not read them from its data folder: without a copy every text falls back to a
    # much wider font and the caption buttons show letters.
    local fonts="$WINEPREFIX/drive_c/windows/Fonts" file
    mkdir -p "$fonts"
    for file in /usr/share/wine/fonts/*; do
        if [ -f "$file" ]; then
            cp -n "$file" "$fonts/" || true
        fi
    done
    # Windows maps the dialog font of DEFAULT_GUI_FONT to (Microsoft) Sans Serif, Wine to the
    # wider Tahoma; the program's fixed layout is measured for the former.
    "$KALIBRIX_WINE" reg add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
        /v "MS Shell Dlg" /d "MS Sans Serif" /f >/dev/null 2>&1
    # A crashing program must fail its test at once. Wine starts its debugger on a crash (also
    # when no debugger is registered), and that waits for a user who never comes until CTest's
    # time-out; with the debugger disabled the crashing process simply ends.
    "$KALIBRIX_WINE" reg add 'HKCU\Software\Wine\DllOverrides' /v winedbg.exe /d "" /f \
        >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.kalibrix-prefix-3"
}

# managed: a window manager runs and manages Wine's windows (an interactive dry run).
# unmanaged: a bare virtual display. Without a window manager Wine waits two seconds for an
# answer that never comes each time a managed window is hidden, so windows stay unmanaged there.
set_window_management() {
    local key='HKCU\Software\Wine\X11 Driver'
    if [ "$1" = unmanaged ]; then
        "$KALIBRIX_WINE" reg add "$key" /v Managed /d N /f >/dev/null 2>&1
    else
        "$KALIBRIX_WINE" reg delete "$key" /v Managed /f >/dev/null 2>&1 || true
    fi
}
