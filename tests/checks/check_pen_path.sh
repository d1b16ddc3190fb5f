#!/usr/bin/env bash
# The dry run's decoder (tools/pen-path) reads steps from edges, not from a fixed byte
# sequence, and skips what is not a write of the square: each trace below must give its sides,
# say whether the square closes and how many lines it skipped, and the picture must be written.
# It also prints how long a microstepped square of 200,004 writes takes to draw (a figure, not a
# limit). Given the settings reader (kalibrix_settings.exe), it checks instead, under Wine in a
# test session, that the pen path reads a kalibrix.ini through it.
#
#   check_pen_path.sh SOURCE_DIR SCRATCH_DIR [READER]
set -euo pipefail

source_dir=$1
scratch=$2
reader=${3:-}
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
    local name=$1 expected=$2 file="$scratch/$1.txt" settings=${3:-} delay=${4:-5}
    local got
    got=$("$source_dir/tools/pen-path" ${settings:+--settings "$settings"} "$file" \
        "$scratch/$name.png" "$delay")
    if [ "$got" != "$expected" ]; then
        echo "FAILED $name: '$got', expected '$expected'" >&2
        failures=$((failures + 1))
    elif [ ! -s "$scratch/$name.png" ]; then
        echo "FAILED $name: no picture" >&2
        failures=$((failures + 1))
    fi
}

# The bytes of a square of 100 steps per side, step on pin 2 and direction on pin 3, the step
# lines active low (resting high, a step is the fall), the X axis inverted.
wired_square() {
    # shellcheck disable=SC2046
    echo 7 $(pulses 6 7 100) 7 $(pulses 3 7 100) 5 $(pulses 4 5 100) 15 $(pulses 11 15 100)
}

# The settings as the program reads them from a kalibrix.ini of that wiring with a pre-travel of
# 3 steps: the square after it decodes. A file the program refuses ends the reader with 1 and the
# program's own sentence, on which the dry run stops.
if [ -n "$reader" ]; then
    printf '%s\r\n' "[Anschluss]" XTakt=2 XRichtung=3 YTakt=4 YRichtung=5 TaktInvertiert=1 \
        XRichtungInvertiert=1 "[Zeichnen]" Vorlauf=3 >"$scratch/wired.ini"
    # The Windows program finds the file by its bare name in its current folder.
    (cd "$scratch" && "$source_dir/tools/wine-run" "$reader" wired.ini) \
        >"$scratch/wired-settings.txt"
    # shellcheck disable=SC2046
    trace "$scratch/wired.txt" 5 $(pulses 4 5 3) 7 $(pulses 6 7 3) 15 $(pulses 11 15 3) 7 \
        $(pulses 3 7 3) $(wired_square)
    check wired "sides 100, 100, 100, 100 steps, the square closes; pre-travel 3 steps per axis" \
        "$scratch/wired-settings.txt"

    printf '%s\r\n' "[Anschluss]" XTakt=10 >"$scratch/refused.ini"
    status=0
    (cd "$scratch" && "$source_dir/tools/wine-run" "$reader" refused.ini) >/dev/null \
        2>"$scratch/refused.txt" || status=$?
    said=$(tr -d '\r' <"$scratch/refused.txt")
    if [ "$status" -ne 1 ] ||
        [[ $said != "In "*"\refused.ini muss XTakt eine Pinnummer von 2 bis 9 sein." ]]; then
        echo "FAILED refused: exit code $status, '$said'" >&2
        failures=$((failures + 1))
    fi
    [ "$failures" -eq 0 ]
    echo "pen path: the settings of kalibrix.ini read through the program's reader as expected"
    exit 0
fi

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

# Drawn on that wiring, with its settings as kalibrix_settings.exe prints them. Read with the
# default wiring, the same bytes would make no square at all.
printf '%s\r\n' x_step_bit=0 x_direction_bit=1 y_step_bit=2 y_direction_bit=3 step_rest_level=1 \
    x_forward_level=1 y_forward_level=0 check_port=1 pretravel=0 ramp=0 start_delay_us=5000 \
    >"$scratch/wired-settings.txt"
# shellcheck disable=SC2046
trace "$scratch/wired.txt" $(wired_square)
check wired "sides 100, 100, 100, 100 steps, the square closes" "$scratch/wired-settings.txt"

# A pre-travel of 3 steps runs X back and forward, then Y, before the square: not sides of it.
printf '%s\n' x_step_bit=1 x_direction_bit=0 y_step_bit=3 y_direction_bit=2 step_rest_level=0 \
    x_forward_level=0 y_forward_level=0 pretravel=3 ramp=0 start_delay_us=5000 \
    >"$scratch/pretravel-settings.txt"
# shellcheck disable=SC2046
trace "$scratch/pretravel.txt" 1 $(pulses 3 1 3) 0 $(pulses 2 0 3) 4 $(pulses 12 4 3) 0 \
    $(pulses 8 0 3) 0 $(pulses 2 0 100) 0 $(pulses 8 0 100) 1 $(pulses 3 1 100) 4 \
    $(pulses 12 4 100)
check pretravel "sides 100, 100, 100, 100 steps, the square closes; pre-travel 3 steps per axis" \
    "$scratch/pretravel-settings.txt"

trace "$scratch/none.txt" 0 1 4 5
check none "no steps"

# A ramp of 4 steps from 1 ms to 0.1 ms: each side of 10 steps waits its halves as the drive's
# plan rounds them, and is on plan. Drawn with side 1's first step 20 us short, it is not.
printf '%s\n' x_step_bit=1 x_direction_bit=0 y_step_bit=3 y_direction_bit=2 step_rest_level=0 \
    x_forward_level=0 y_forward_level=0 pretravel=0 ramp=4 start_delay_us=1000 \
    >"$scratch/ramp-settings.txt"
ramped_trace() {
    awk -v short="$2" 'BEGIN {
        t = 1000000; split("2 0 8 0 3 1 12 4", b, " ")
        split("330 165 127 108 100 100 108 127 165 330", half, " ")
        for (s = 0; s < 4; s++) {
            printf "%d 888 %d\r\n", t, b[2 * s + 2]; t += 100
            for (i = 1; i <= 10; i++) {
                h = half[i] - (s == 0 && i == 1 ? short : 0)
                printf "%d 888 %d\r\n", t, b[2 * s + 1]; t += h
                printf "%d 888 %d\r\n", t, b[2 * s + 2]; t += h
            }
        }
    }' >"$scratch/$1.txt"
}
ramped_trace ramped 0
check ramped "sides 10, 10, 10, 10 steps, the square closes; ramp of 4 steps from 1 ms" \
    "$scratch/ramp-settings.txt" 0,1
ramped_trace ramped-early 10
check ramped-early "sides 10, 10, 10, 10 steps, the square closes; ramp of 4 steps from 1 ms; \
1 step earlier than planned" "$scratch/ramp-settings.txt" 0,1

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
