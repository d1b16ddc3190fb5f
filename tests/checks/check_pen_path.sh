#!/usr/bin/env bash
# The dry run's decoder (tools/pen-path) reads steps from edges, not from a fixed byte
# sequence, and skips what is not a write of the square: each trace below must give its sides,
# say whether the square closes and how many lines it skipped, and the picture must be written.
# It also prints how long a microstepped square of 200,004 writes takes to draw (a figure, not a
# limit).
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
    local name=$1 expected=$2 file="$scratch/$1.txt" ini=${3:-}
    local got
    got=$("$source_dir/tools/pen-path" ${ini:+--ini "$ini"} "$file" "$scratch/$name.png" 5)
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

# A line that is not three numbers, and a write to another port, each in the middle of a side:
# read as writes, both would make a step of the other axis and split the side.
# shellcheck disable=SC2046
trace "$scratch/junk.txt" 0 $(pulses 2 0 100) 0 $(pulses 8 0 100) 1 $(pulses 3 1 100) 4 \
    $(pulses 12 4 100)
sed -i -e '204a abc 888 2\r' -e '50a 1250000 632 8\r' "$scratch/junk.txt"
check junk "sides 100, 100, 100, 100 steps, the square closes; 2 lines skipped \
(1 not three numbers, 1 to another port than 888)"

# Drawn with a kalibrix.ini: step on pin 2 and direction on pin 3, the step lines active low
# (resting high, a step is the fall), the X axis inverted. Read with the default wiring, the same
# bytes would make no square at all.
printf '%s\r\n' "[Anschluss]" XTakt=2 XRichtung=3 YTakt=4 YRichtung=5 TaktInvertiert=1 \
    XRichtungInvertiert=1 >"$scratch/wired.ini"
# shellcheck disable=SC2046
trace "$scratch/wired.txt" 7 $(pulses 6 7 100) 7 $(pulses 3 7 100) 5 $(pulses 4 5 100) 15 \
    $(pulses 11 15 100)
check wired "sides 100, 100, 100, 100 steps, the square closes" "$scratch/wired.ini"

trace "$scratch/none.txt" 0 1 4 5
check none "no steps"

# 25,000 steps per side, as with microstepping: 8 × 25,000 + 4 writes.
awk 'BEGIN {
    t = 1000000; split("2 0 8 0 3 1 12 4", b, " ")
    for (s = 0; s < 4; s++) {
        printf "%d 888 %d\r\n", t, b[2 * s + 2]; t += 5000
        for (i = 0; i < 25000; i++) {
            printf "%d 888 %d\r\n", t, b[2 * s + 1]; t += 5000
            printf "%d 888 %d\r\n", t, b[2 * s + 2]; t += 5000
        }
    }
}' >"$scratch/microstepped.txt"
started=$(date +%s.%N)
check microstepped "sides 25000, 25000, 25000, 25000 steps, the square closes"
finished=$(date +%s.%N)
awk -v a="$started" -v b="$finished" -v n="$(wc -l <"$scratch/microstepped.txt")" \
    'BEGIN { printf "pen path: a trace of %d writes decoded and drawn in %.2f s\n", n, b - a }'

[ "$failures" -eq 0 ]
echo "pen path: every trace decoded as expected"
