#!/bin/sh
# Runs one program with the SDL back end under a virtual X server and
# measures the processor time it takes while it idles in its game loop for
# five seconds (from /proc: user and system time).  Passes at 10% of one
# processor or less; a machine busy with other work charges a waiting
# program more for each wake-up, so the best of three runs counts.  Skips
# (77) where Xvfb is missing, or when every run is over the limit while the
# machine has more runnable work than processors.
#
# There is no graphics card behind a virtual X server: SDL's own software
# renderer is used (SDL_RENDER_DRIVER=software), not an OpenGL emulated on
# the processor.
#   sdl_idle_run.sh <program in its game folder>
set -u
program="$1"
limit=10
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "Xvfb is not installed"
    exit 77
fi
work=$(mktemp -d /tmp/morvanel-idle-XXXXXX)
xpid=""
gpid=""
tpid=""
cleanup() {
    [ -n "$gpid" ] && kill "$gpid" 2>/dev/null
    [ -n "$tpid" ] && kill "$tpid" 2>/dev/null
    [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
folder=$(dirname "$program")
name=$(basename "$program")
cp "$program" "$folder/config.ini" "$folder/registry.ini" "$folder"/*.res "$work/"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" 2>/dev/null &
xpid=$!
for i in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
cd "$work"
hz=$(getconf CLK_TCK)

# One run: prints the percentage of one processor used over five seconds of
# the game loop.
measure() {
    rm -f stderr.txt
    MORVANEL_HOST=sdl SDL_AUDIODRIVER=dummy SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0 MORVANEL_TRACE=1 \
        timeout 60 "./$name" >stdout.txt 2>stderr.txt &
    tpid=$!
    # The program itself is the child of timeout.
    gpid=""
    for i in $(seq 50); do
        gpid=$(pgrep -P "$tpid" 2>/dev/null | head -1)
        [ -n "$gpid" ] && break
        sleep 0.1
    done
    [ -n "$gpid" ] || { echo "the program did not start" >&2; return 1; }
    # Into the game loop (after the logo's four seconds), then a second more.
    for i in $(seq 300); do
        grep -q "trace: GameLoop" stderr.txt 2>/dev/null && break
        sleep 0.1
    done
    grep -q "trace: GameLoop" stderr.txt || { echo "the game loop was not reached" >&2; cat stderr.txt >&2; return 1; }
    sleep 1
    t0=$(awk '{print $14 + $15}' "/proc/$gpid/stat")
    sleep 5
    t1=$(awk '{print $14 + $15}' "/proc/$gpid/stat")
    kill "$gpid" 2>/dev/null
    wait "$tpid" 2>/dev/null
    gpid=""
    tpid=""
    echo $(((t1 - t0) * 100 / (5 * hz)))
}

best=""
for run in 1 2 3; do
    percent=$(measure) || exit 1
    echo "$name idling in its game loop for 5 s: $percent% of one processor"
    if [ -z "$best" ] || [ "$percent" -lt "$best" ]; then best=$percent; fi
    [ "$best" -le "$limit" ] && exit 0
done
echo "more than $limit% in every run"
# On a machine with more runnable work than processors every wake-up waits
# for a processor and is charged for what it displaced: the figures above
# then say more about the machine than about the program.  Such a run is
# reported as skipped, not passed.
load=$(cut -d' ' -f1 /proc/loadavg)
cpus=$(getconf _NPROCESSORS_ONLN)
if awk "BEGIN { exit !($load > $cpus) }"; then
    echo "the machine is busy (load average $load on $cpus processors): not measured"
    exit 77
fi
exit 1
