# Shell functions that prepare the build tree's private Wine prefix; sourced by tools/test-session
# and tools/dry-run. The user's own prefix is never touched.

# Points Wine at the prefix of BUILD_DIR.
wine_environment() {
    export WINEPREFIX="$1/wineprefix"
    export WINEARCH=win32
    export WINEDEBUG=-all
    # No installer dialogs for .NET or the HTML engine.
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Makes the prefix of BUILD_DIR once (a display must be set). The marker is written only after a
# complete preparation; a new marker name makes old prefixes be prepared anew.
prepare_wine_prefix() {
    local build_dir=$1
    wine_environment "$build_dir"
    [ -f "$WINEPREFIX/.kalibrix-prefix-2" ] && return 0
    rm -rf "$WINEPREFIX"
    echo "preparing the Wine prefix $WINEPREFIX (once per build tree)"
    wineboot --init >"$build_dir/wineboot.log" 2>&1
    wineserver -w

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
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
        /v "MS Shell Dlg" /d "MS Sans Serif" /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.kalibrix-prefix-2"
}

# managed: a window manager runs and manages Wine's windows (an interactive dry run).
# unmanaged: a bare virtual display. Without a window manager Wine waits two seconds for an
# answer that never comes each time a managed window is hidden, so windows stay unmanaged there.
set_window_management() {
    local key='HKCU\Software\Wine\X11 Driver'
    if [ "$1" = unmanaged ]; then
        wine reg add "$key" /v Managed /d N /f >/dev/null 2>&1
    else
        wine reg delete "$key" /v Managed /f >/dev/null 2>&1 || true
    fi
}
