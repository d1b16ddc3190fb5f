#!/usr/bin/env bash
# The installer's decisions, on every kind of machine and every kind of bad day, with stand-ins
# for apt-get, dpkg, dpkg-query, sudo and the 32-bit probe: what it installs, what it leaves
# out, when it goes on and when it fails, and what the test run then says of the 32-bit lane.
#
#   check_install_deps.sh SOURCE_DIR SCRATCH_DIR
set -uo pipefail

source_dir=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch/bin"

# apt-get: logs each call; `update` fails as a mirror in the middle of a sync does when
# STANDIN_UPDATE_FAILS is set; `install` refuses the packages in STANDIN_BROKEN as apt does,
# and otherwise marks the packages installed.
cat >"$scratch/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STANDIN_DIR/calls"
if [ "$1" = update ]; then
    echo "Hit:1 http://deb.debian.org/debian bookworm InRelease"
    if [ -n "${STANDIN_UPDATE_FAILS:-}" ]; then
        echo "Err:6 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
        echo "  File has unexpected size (174072 != 174068). Mirror sync in progress? [IP: 151.101.2.132 80]"
        echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (174072 != 174068). Mirror sync in progress? [IP: 151.101.2.132 80]"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100
    fi
    exit 0
fi
packages=()
for word in "${@:2}"; do
    case "$word" in -*) continue ;; Dpkg::*) continue ;; esac
    packages+=("$word")
done
for package in "${packages[@]}"; do
    if [[ " ${STANDIN_BROKEN:-} " == *" $package "* ]]; then
        echo "Some packages could not be installed. This may mean that you have"
        echo "requested an impossible situation or if you are using the unstable"
        echo "The following packages have unmet dependencies:"
        echo " $package : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
    fi
done
[[ " $* " == *" -s "* ]] || printf '%s\n' "${packages[@]}" >>"$STANDIN_DIR/installed"
EOF

cat >"$scratch/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
grep -qx -- "${!#}" "$STANDIN_DIR/installed" 2>/dev/null && echo "install ok installed"
exit 0
EOF

cat >"$scratch/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STANDIN_DIR/calls"
case "$1" in
--print-foreign-architectures) cat "$STANDIN_DIR/architectures" 2>/dev/null ;;
--add-architecture) echo "$2" >>"$STANDIN_DIR/architectures" ;;
esac
EOF

cat >"$scratch/bin/sudo" <<'EOF'
#!/usr/bin/env bash
exec "$@"
EOF

# The probe of a machine with a 32-bit mode exits 42; one without it is refused by the kernel.
printf '#!/bin/sh\nexit 42\n' >"$scratch/bin/probe-native"
printf '#!/bin/sh\necho "probe32: cannot execute binary file: Exec format error" >&2\nexit 126\n' \
    >"$scratch/bin/probe-no-mode"
chmod +x "$scratch/bin"/*

# A binfmt_misc folder in which qemu-user takes 32-bit x86 programs.
mkdir -p "$scratch/binfmt-qemu"
echo enabled >"$scratch/binfmt-qemu/status"
printf 'enabled\ninterpreter /usr/libexec/qemu-binfmt/i386-binfmt-P\nflags: POCF\noffset 0\nmagic 7f454c4601010100000000000000000002000300\nmask fffffffffffefe00fffffffffffffffffeffffff\n' \
    >"$scratch/binfmt-qemu/qemu-i386"
mkdir -p "$scratch/binfmt-none"
echo enabled >"$scratch/binfmt-none/status"

required_packages=$(sed -n '/^required=(/,/^)/p' "$source_dir/tools/install-deps" |
    sed '1d;$d' | tr -s ' \n' '\n' | sed '/^$/d')

failures=0
# ROW: the name of the case; PROBE, BINFMT; INSTALLED (all, or none); the expected exit status;
# then grep patterns, each prefixed: "out:" must be in the output, "!out:" must not,
# "calls:" / "!calls:" in the calls of apt-get and dpkg, "note:" in the 32-bit lane's note,
# "nonote" for no note, "lane:" in what the test run says of the 32-bit lane.
check() {
    local name=$1 probe=$2 binfmt=$3 installed=$4 expected=$5
    shift 5
    local dir="$scratch/$name" status pattern
    mkdir -p "$dir"
    : >"$dir/calls"
    if [ "$installed" = all ]; then
        { echo "$required_packages"; echo "wine32:i386"; } >"$dir/installed"
    fi
    PATH="$scratch/bin:$PATH" STANDIN_DIR=$dir \
        KALIBRIX_PROBE32="$scratch/bin/$probe" KALIBRIX_BINFMT_MISC="$scratch/$binfmt" \
        KALIBRIX_WINE32_NOTE="$dir/wine32-missing" \
        bash "$source_dir/tools/install-deps" >"$dir/out" 2>&1
    status=$?
    # What the test run says of the 32-bit lane, with no 32-bit Wine installed.
    (
        source "$source_dir/tools/wine-prefix.sh"
        WINE32_LOADER="$dir/no-such-loader"
        KALIBRIX_PROBE32="$scratch/bin/$probe" KALIBRIX_BINFMT_MISC="$scratch/$binfmt" \
            KALIBRIX_WINE32_NOTE="$dir/wine32-missing" wine_lane_runs win32
        echo "$WINE_LANE_PROBLEM"
    ) >"$dir/lane" 2>&1

    local bad=""
    [ "$status" = "$expected" ] || bad="exit status $status, not $expected"
    for pattern in "$@"; do
        case "$pattern" in
        out:*) grep -qF -- "${pattern#out:}" "$dir/out" || bad="$bad; no '${pattern#out:}' in the output" ;;
        '!out:'*) ! grep -qF -- "${pattern#!out:}" "$dir/out" || bad="$bad; '${pattern#!out:}' in the output" ;;
        calls:*) grep -qF -- "${pattern#calls:}" "$dir/calls" || bad="$bad; no call '${pattern#calls:}'" ;;
        '!calls:'*) ! grep -qF -- "${pattern#!calls:}" "$dir/calls" || bad="$bad; a call with '${pattern#!calls:}'" ;;
        note:*) grep -qF -- "${pattern#note:}" "$dir/wine32-missing" 2>/dev/null || bad="$bad; no '${pattern#note:}' in the note" ;;
        nonote) [ ! -e "$dir/wine32-missing" ] || bad="$bad; a note was left" ;;
        lane:*) grep -qF -- "${pattern#lane:}" "$dir/lane" || bad="$bad; the lane's reason lacks '${pattern#lane:}'" ;;
        esac
    done
    if [ -n "$bad" ]; then
        echo "FAIL $name: ${bad#; }"
        sed 's/^/    out: /' "$dir/out"
        sed 's/^/    call: /' "$dir/calls"
        sed 's/^/    lane: /' "$dir/lane"
        failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
}

# A machine with a 32-bit mode gets both lanes, the i386 architecture first.
check native probe-native binfmt-none none 0 \
    'calls:dpkg --add-architecture i386' 'calls:apt-get update' 'calls:install' \
    'calls:wine32:i386' 'calls:googletest' nonote
# Without a 32-bit mode, or with one only through an emulator, nothing of i386 at all, and the
# test run says why.
check no_32bit_mode probe-no-mode binfmt-none none 0 \
    '!calls:i386' 'calls:wine64' 'out:cannot run 32-bit programs' \
    'lane:this machine cannot run 32-bit programs (cannot execute binary file: Exec format error)'
check emulated_32bit probe-native binfmt-qemu none 0 \
    '!calls:i386' 'calls:wine64' 'out:/usr/libexec/qemu-binfmt/i386-binfmt-P' \
    'lane:only through the emulator /usr/libexec/qemu-binfmt/i386-binfmt-P'
# An index that fails is one line, and the installing goes on.
STANDIN_UPDATE_FAILS=1 check index_out_of_sync probe-native binfmt-none none 0 \
    'out:apt-get update failed for some index, going on with the indexes it has' \
    'out:Mirror sync in progress?' 'calls:googletest' 'calls:wine32:i386' nonote
# 32-bit Wine that cannot be installed leaves the rest installed, and the reason for the run.
STANDIN_UPDATE_FAILS=1 STANDIN_BROKEN=wine32:i386 check wine32_uninstallable probe-native \
    binfmt-none none 0 'calls:googletest' 'out:the 32-bit lane will not run' \
    'note:wine32:i386 cannot be installed: wine32:i386 : Depends: libwine:i386' \
    'lane:32-bit Wine is not installed: wine32:i386 cannot be installed'
# A package every lane needs fails the set-up, by name, with apt's reason.
STANDIN_BROKEN=googletest check required_uninstallable probe-native binfmt-none none 1 \
    'out:googletest cannot be installed: googletest : Depends:' '!calls:wine32:i386'
# Everything there: no server is asked.
check all_installed probe-native binfmt-none all 0 '!calls:apt-get' '!calls:dpkg'

# The carried probe itself answers on this machine as the 32-bit loader does, where it is there.
if [ -x /usr/lib/wine/wine ]; then
    (
        source "$source_dir/tools/machine-mode.sh"
        probe=no
        machine_runs_32bit && probe=yes
        loader=no
        /usr/lib/wine/wine --version >/dev/null 2>&1 && loader=yes
        [ "$probe" = "$loader" ] || {
            echo "FAIL the probe says $probe, the 32-bit loader $loader"
            exit 1
        }
        echo "ok   the probe agrees with the 32-bit loader ($probe)"
    ) || failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || exit 1
