#!/usr/bin/env bash
# The dry run's decoder (tools/pen-path) reads steps from edges, not from a fixed byte
# sequence: each trace below must give its sides and say whether the square closes, and the
# picture must be written.
#
#   check_pen_path.sh SOURCE_DIR SCRATCH_DIR
set -euo pipefail

source_dir=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"

# Writes a trace of the bytes given, 5 ms apart, with CRLF line ends as the stand-in writes.
trace() {
    local file=$1 t=1000000 byte
    shift
    : >"$file"
    for byte in "$@"; do
        printf '%d 888 %d\r\n' "$t" "$byte" >>"$file"
        t=$((t + 5000))
    done
}

# BYTES... for a side: "pulses H L N" gives N pulses of step-high H, step-low L.
pulses() {
    local high=$1 low=$2 count=$3 i
    for ((i = 0; i < count; i++)); do
        echo "$high $low"
    done
}

failures=0
check() {
    local name=$1 expected=$2 file="$scratch/$1.txt"
    local got
    got=$("$source_dir/tools/pen-path" "$file" "$scratch/$name.png" 5)
    if [ "$got" != "$expected" ]; then
        echo "FAILED $name: '$got', expected '$expected'" >&2
        failures=$((failures + 1))
    elif [ ! -s "$scratch/$name.png" ]; then
        echo "FAILED $name: no picture" >&2
        failures=$((failures + 1))
    fi
}

# Each pulse a step-high and a step-low write, the direction set with the first step.
# shellcheck disable=SC2046
trace "$scratch/pulses.txt" $(pulses 2 0 101) $(pulses 8 0 101) $(pulses 3 1 101) \
    $(pulses 12 4 101)
check pulses "sides 101, 101, 101, 101 steps, the square closes"

# Each side first sets its direction with both step lines low, then pulses.
# shellcheck disable=SC2046
trace "$scratch/direction-ahead.txt" 0 $(pulses 2 0 100) 0 $(pulses 8 0 100) 1 \
    $(pulses 3 1 100) 4 $(pulses 12 4 100)
check direction-ahead "sides 100, 100, 100, 100 steps, the square closes"

# A step line that stays high over several writes is one step; X comes back two short.
# shellcheck disable=SC2046
trace "$scratch/gap.txt" 2 2 2 0 $(pulses 2 0 4) $(pulses 8 0 5) $(pulses 3 1 3) \
    $(pulses 12 4 5)
check gap "sides 5, 5, 3, 5 steps, the square does not close: a gap of 2 steps in X, 0 in Y"

trace "$scratch/none.txt" 0 1 4 5
check none "no steps"

[ "$failures" -eq 0 ]
echo "pen path: every trace decoded as expected"
