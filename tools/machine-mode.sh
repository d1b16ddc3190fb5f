# Whether this machine runs 32-bit x86 programs natively; sourced by tools/install-deps (which
# installs 32-bit Wine only where it can run) and tools/wine-prefix.sh (which says why the 32-bit
# lane did not run). Needs no i386 package: the probe is a 96-byte static 32-bit Linux program
# carried here, which does nothing but exit with 42.
#
# Some virtual machines, WSL 1 and other hosts have no 32-bit mode: there the kernel refuses the
# probe ("Exec format error"). A machine that runs it only through an emulator registered with
# binfmt_misc (qemu-user) does not count: Wine's 32-bit loader would crawl or fail there.
#
# KALIBRIX_PROBE32 (a command standing in for the probe) and KALIBRIX_BINFMT_MISC (a folder
# standing in for /proc/sys/fs/binfmt_misc) let the check of the installer's decisions play
# every kind of machine.

PROBE32_ELF='f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhgAAAAYAAAAAUAAAAAEAAAuAEAAAC7KgAAAM2A'

# The interpreter of an enabled binfmt_misc entry that takes 32-bit x86 ELF programs, if any.
binfmt_i386_emulator() {
    local folder=${KALIBRIX_BINFMT_MISC:-/proc/sys/fs/binfmt_misc} entry magic
    [ -r "$folder/status" ] && [ "$(cat "$folder/status")" = enabled ] || return 1
    for entry in "$folder"/*; do
        case "${entry##*/}" in status | register) continue ;; esac
        [ -r "$entry" ] && [ "$(head -n1 "$entry")" = enabled ] || continue
        magic=$(sed -n 's/^magic //p' "$entry")
        # ELF, 32-bit, little-endian, and e_machine 3 (EM_386) at byte 18.
        if [ "${magic:0:10}" = 7f454c4601 ] && [ "${magic:36:4}" = 0300 ]; then
            sed -n 's/^interpreter //p' "$entry"
            return 0
        fi
    done
    return 1
}

# True where 32-bit x86 programs run natively; otherwise PROBE32_PROBLEM says why, in words that
# finish "this machine cannot run 32-bit programs (...)".
machine_runs_32bit() {
    local dir probe output status emulator
    PROBE32_PROBLEM=""
    if [ -n "${KALIBRIX_PROBE32:-}" ]; then
        output=$($KALIBRIX_PROBE32 2>&1 </dev/null)
        status=$?
    else
        dir=$(mktemp -d) || {
            PROBE32_PROBLEM="no temporary folder for the probe"
            return 1
        }
        probe="$dir/probe32"
        echo "$PROBE32_ELF" | base64 -d >"$probe" && chmod +x "$probe"
        # A subshell, so that the shell's complaint about the probe lands in the output.
        output=$( ("$probe") 2>&1 </dev/null)
        status=$?
        rm -rf "$dir"
    fi
    if [ "$status" -ne 42 ]; then
        # The shell's own words ("cannot execute binary file: Exec format error"), without the
        # probe's temporary path.
        PROBE32_PROBLEM=$(echo "$output" | tail -n 1 | sed 's/^.*probe32: //; s/^.*: line [0-9]*: //')
        [ -n "$PROBE32_PROBLEM" ] || PROBE32_PROBLEM="a 32-bit probe exited with $status"
        return 1
    fi
    if emulator=$(binfmt_i386_emulator); then
        PROBE32_PROBLEM="they run only through the emulator ${emulator:-of binfmt_misc}"
        return 1
    fi
    return 0
}
