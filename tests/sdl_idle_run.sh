#!/bin/sh
# Runs one program with the SDL back end under a virtual X server and
# measures the processor time it takes, from its own trace (with
# MORVANEL_TRACE_COST each trace line carries the process's processor time
# and the real time, in microseconds):
#   - while the intro video plays (from MOVIE_Play to MOVIE_Stop), less the
#     time its decoding took (the trace's "MOVIE decode us"): at most 25% of
#     one processor;
#   - while it idles in its game loop, from GameLoop until Escape and Y at
#     the quit prompt (pressed after five seconds) end the loop
#     (LeaveMission): at most 10%.
# The process's processor time is what the program itself used, however
# busy the machine is, so a run over the limits fails.  The best of three
# runs counts: a run can still be charged for a stray stall.  Skips (77)
# where Xvfb or xdotool is missing.
#
# There is no graphics card behind a virtual X server: SDL's own software
# renderer is used (SDL_RENDER_DRIVER=software), not an OpenGL emulated on
# the processor.
#   sdl_idle_run.sh <program in its game folder>
set -u
program="$1"
intro_limit=25
idle_limit=10
if ! command -v Xvfb >/dev/null 2>&1 || ! command -v xdotool >/dev/null 2>&1; then
    echo "Xvfb or xdotool is not installed"
    exit 77
fi
work=$(mktemp -d /tmp/morvanel-idle-XXXXXX)
xpid=""
gpid=""
cleanup() {
    [ -n "$gpid" ] && kill "$gpid" 2>/dev/null
    [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
folder=$(dirname "$program")
name=$(basename "$program")
cp "$program" "$folder/config.ini" "$folder/registry.ini" "$folder"/*.res "$work/"
cp -r "$folder/video" "$work/"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" 2>/dev/null &
xpid=$!
for i in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
cd "$work"

# The processor and real time of a traced step: "<cpu us> <wall us>".
stamp() {
    grep -m1 "^trace: $1 cpu=" stderr.txt | sed 's/.* cpu=\([0-9]*\) wall=\([0-9]*\)/\1 \2/'
}

# Percent of one processor between two stamps, less `spent` microseconds.
percent() {
    echo "$1 $2 $3" | awk '{ split($1, a, ":"); split($2, b, ":");
        printf "%d", (b[1] - a[1] - $3) * 100 / (b[2] - a[2]) }'
}

# One run: prints "<intro percent> <idle percent>".
measure() {
    rm -f stderr.txt
    MORVANEL_HOST=sdl SDL_AUDIODRIVER=dummy SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0 \
        MORVANEL_TRACE=1 MORVANEL_TRACE_COST=1 timeout 60 "./$name" >stdout.txt 2>stderr.txt &
    gpid=$!
    # Into the game loop (after the logo's four seconds and the intro).
    for i in $(seq 300); do
        grep -q "^trace: GameLoop" stderr.txt 2>/dev/null && break
        sleep 0.1
    done
    grep -q "^trace: GameLoop" stderr.txt || { echo "the game loop was not reached" >&2; cat stderr.txt >&2; return 1; }
    sleep 5
    # The main menu's Quit: Escape, Up once the panel is open, Return, y.
    for i in $(seq 20); do
        grep -q "^trace: LeaveMission" stderr.txt && break
        xdotool search --name Morvanel windowfocus >/dev/null 2>&1
        for key in Escape _ Up Return y; do
            if [ "$key" = _ ]; then sleep 1.0; continue; fi
            xdotool keydown "$key" >/dev/null 2>&1
            sleep 0.2
            xdotool keyup "$key" >/dev/null 2>&1
            sleep 0.1
        done
    done
    wait "$gpid" 2>/dev/null
    gpid=""
    play=$(stamp MOVIE_Play | tr ' ' ':')
    stop=$(stamp MOVIE_Stop | tr ' ' ':')
    decode=$(grep -m1 "^trace: MOVIE decode us " stderr.txt | sed 's/.* //')
    loop=$(stamp GameLoop | tr ' ' ':')
    leave=$(stamp LeaveMission | tr ' ' ':')
    if [ -z "$play" ] || [ -z "$stop" ] || [ -z "$decode" ] || [ -z "$loop" ] || [ -z "$leave" ]; then
        echo "the trace lacks a step" >&2
        cat stderr.txt >&2
        return 1
    fi
    echo "$(percent "$play" "$stop" "$decode") $(percent "$loop" "$leave" 0)"
}

for run in 1 2 3; do
    figures=$(measure) || exit 1
    intro=${figures% *}
    idle=${figures#* }
    echo "$name: intro $intro% of one processor beyond its decoding (limit $intro_limit%)," \
         "game loop idling $idle% (limit $idle_limit%)"
    [ "$intro" -le "$intro_limit" ] && [ "$idle" -le "$idle_limit" ] && exit 0
done
echo "over the limits in every run (load average $(cut -d' ' -f1-3 /proc/loadavg))"
exit 1
