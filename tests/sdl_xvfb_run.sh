#!/bin/sh
# Runs one program with the SDL back end under a virtual X server, SDL's
# file-writing audio driver standing in for the sound card, and ends it with
# Escape and Y (the quit prompt) once the game loop runs.  Passes when it
# ends with code 0 with sound
# on (the run body gave the sound layer its voices), the intro video was
# played, the audio device received the mix, and nothing but the AI
# manager's banner reached debug.txt.  With a matcher, dumps of the window
# (xwd) must show the demo logo while it is up, a frame of the intro while it
# plays, the game after it, and the end picture after Escape.  Skips (77)
# where Xvfb or xdotool is missing.
#   sdl_xvfb_run.sh <program in its game folder> [<xwd_match>]
set -u
program="$1"
matcher="${2:-}"
command -v xwd >/dev/null 2>&1 || matcher=""
if ! command -v Xvfb >/dev/null 2>&1 || ! command -v xdotool >/dev/null 2>&1; then
    echo "Xvfb or xdotool is not installed"
    exit 77
fi
work=$(mktemp -d /tmp/morvanel-xvfb-XXXXXX)
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
# X and the audio driver keep memory of their own until the process ends.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0"
cd "$work"
MORVANEL_HOST=sdl SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" MORVANEL_TRACE=1 \
    timeout 90 "./$name" >"$work/stdout.txt" 2>"$work/stderr.txt" &
gpid=$!
# The trace names each step: the logo (up for four seconds), the intro
# video (48 frames, 3.2 seconds), the game loop, the end picture.  The window
# is dumped a few times within each, however slowly the program starts.
# Once the game loop runs, Escape (the quit prompt) and Y are pressed again
# and again until the program ends.
traced() {
    n=$(grep -c "trace: $1" "$work/stderr.txt" 2>/dev/null)
    echo "${n:-0}"
}
await() {
    for i in $(seq 600); do
        [ "$(traced "$1")" -ge "$2" ] && return 0
        kill -0 "$gpid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
# Every window of that name is dumped, looked up again for each dump: the
# search may also find one the program does not draw into, and the first
# window may be replaced by another before the picture shows (a renderer
# that needs other window properties makes its window anew).
dump() {
    [ -n "$matcher" ] || return 0
    for w in $(xdotool search --name Morvanel 2>/dev/null); do
        xwd -silent -id "$w" >"$work/$1-$w.xwd" 2>/dev/null || rm -f "$work/$1-$w.xwd"
    done
}
xdotool search --sync --name Morvanel >/dev/null 2>&1
await ShowPicture 1
# The logo stays up four seconds: dump it until one dump matches or the
# intro takes its place.
for i in $(seq 10); do
    sleep 0.3
    [ -n "$matcher" ] || break
    [ "$(traced MOVIE_Play)" -ge 1 ] && break
    dump logo-$i
    "$matcher" logo "$work"/logo-$i-*.xwd >/dev/null 2>&1 && break
done
await MOVIE_Play 1
for i in 1 2 3 4 5 6; do
    sleep 0.4
    [ "$(traced GameLoop)" -ge 1 ] && break
    dump intro-$i
done
await GameLoop 1
for i in 1 2 3; do
    sleep 0.5
    dump game-$i
done
# Escape opens the main menu; once its panel has slid open, Up moves to
# its last entry, Quit, Enter raises the quit prompt and y answers it.  A
# round that misses (a slow frame) leaves the menu open or closed, and the
# next round's Escape toggles it again.
press() {
    xdotool keydown "$1" >/dev/null 2>&1
    sleep 0.2
    xdotool keyup "$1" >/dev/null 2>&1
}
for i in $(seq 30); do
    kill -0 "$gpid" 2>/dev/null || break
    xdotool search --name Morvanel windowfocus >/dev/null 2>&1
    press Escape
    sleep 1.0
    press Up
    sleep 0.2
    press Return
    sleep 0.3
    press y
    [ "$(traced ShowPicture)" -ge 2 ] && dump end-$i
    sleep 0.3
done
wait "$gpid"
code=$?
gpid=""
status=0
if [ "$code" -ne 0 ]; then echo "exit code $code"; status=1; fi
grep -q "trace: MOVIE_Close" stderr.txt || { echo "the intro did not play"; status=1; }
grep -q "trace: SND_SetVoiceCount" stderr.txt || { echo "sound was off"; status=1; }
grep -q "trace: SavePlayerSettings" stderr.txt || { echo "the run did not end normally"; status=1; }
[ -s audio.raw ] || { echo "the audio device received nothing"; status=1; }
if grep -q "^SDL:" stderr.txt; then echo "SDL reported a failure"; status=1; fi
if [ -f debug.txt ] && grep -v "^Spindrel I.A. Manager" debug.txt | grep -q .; then
    echo "errors were logged:"; cat debug.txt; status=1
fi
if [ -n "$matcher" ]; then
    "$matcher" logo logo-*.xwd || { echo "the window did not show the logo"; status=1; }
    "$matcher" intro intro-*.xwd || { echo "the window did not show the intro"; status=1; }
    "$matcher" game game-*.xwd || { echo "the window did not show the game"; status=1; }
    "$matcher" quit end-*.xwd || { echo "the window did not show the end picture"; status=1; }
fi
[ "$status" -eq 0 ] || { echo "--- stderr"; cat stderr.txt; }
exit $status
