#!/usr/bin/env bash
# real_window_test.sh - the players in real windows under Xvfb at 1280 x 720, first without a
# window manager (as `xvfb-run` gives), then with one, as a person meets them:
#   - an error box never traps anyone: the report is on standard error before the box, SIGTERM
#     ends the program within a second while the box is open (box and all, exit 143), and one
#     cause gives one box (the archive's own miss, then no second box for the same file);
#   - SIGINT while the setup dialog waits ends the player (exit 130);
#   - full screen is the whole screen: the release player with --defaults (no dialog) and the
#     development player both cover the 1280 x 720 screen and show the 4:3 picture as 960 x 720
#     with black bars of 160 pixels (read from a screenshot), with and without a window manager.
#
# usage: real_window_test.sh BIN_DIR   (exit 77 = skipped: no xvfb-run, xdotool, xwd or openbox)
set -u

if [[ "${1:-}" != --inside ]]; then
    bin=$(cd "$1" && pwd)
    for tool in xvfb-run xdotool xwd openbox python3; do
        if ! command -v $tool > /dev/null; then
            echo "skipped: needs xvfb-run, xdotool, xwd (x11-apps), openbox and python3"
            exit 77
        fi
    done
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    if ! "$bin/forge" --out "$work/data" > "$work/forge.log" 2>&1; then
        cat "$work/forge.log"
        exit 1
    fi
    xvfb-run -a -s "-screen 0 1280x720x24" bash "$0" --inside "$bin" "$work"
    exit $?
fi

bin=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
unset SDL_VIDEODRIVER
export SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0
failures=0
pid=

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The ids of the windows named exactly $1. The window tree is read with xwininfo: SDL's message
# boxes set their name as UTF-8 only, which xdotool does not read.
windows_named() {
    xwininfo -root -tree 2> /dev/null | grep -F "\"$1\": " | awk '{ print $1 }'
}

# Prints the id of the first window named $1, waiting up to $2 seconds while $pid lives.
find_window() {
    local id
    for ((i = 0; i < $2 * 20; ++i)); do
        id=$(windows_named "$1" | head -n 1)
        if [[ -n "$id" ]]; then
            echo "$id"
            return 0
        fi
        kill -0 "$pid" 2> /dev/null || return 1
        sleep 0.05
    done
    return 1
}

# Waits up to $1 seconds for $pid to end; sets `code` (or "running" after killing it).
wait_end() {
    for ((i = 0; i < $1 * 20; ++i)); do
        if ! kill -0 "$pid" 2> /dev/null; then
            wait "$pid"
            code=$?
            return
        fi
        sleep 0.05
    done
    kill -KILL "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
    code=running
}

# start NAME PROGRAM ARGS...: runs a player with its output in $work/NAME.log.
start() {
    local name=$1
    shift
    "$@" > "$work/$name.log" 2>&1 &
    pid=$!
}


mkdir -p "$work/empty" "$work/holed"

echo "== SIGTERM ends a program whose error box is open"
for program in player devplayer; do
    start box-$program "$bin/$program" --data "$work/empty"
    if find_window "File systema error" 30 > /dev/null; then
        grep -q "No archive file" "$work/box-$program.log" ||
            fail "$program: the report is not on standard error while the box is open"
        start_ns=$(date +%s%N)
        kill -TERM "$pid"
        # It ends at once (some 50 ms on an idle machine); the limit leaves room for a loaded one.
        wait_end 10
        took=$((($(date +%s%N) - start_ns) / 1000000))
        echo "$program: exit $code ${took} ms after SIGTERM"
        [[ "$code" == 143 ]] || fail "$program: SIGTERM with the box open gave $code"
        for ((i = 0; i < 100; ++i)); do
            [[ -z $(windows_named "File systema error") ]] && break
            sleep 0.05
        done
        [[ -z $(windows_named "File systema error") ]] || fail "$program: the box outlived it"
    else
        wait_end 1
        fail "$program: no error box ($code)"
    fi
done

echo "== one cause, one box"
# An archive without one of its pictures: the archive says it misses the file, in a box; the
# file then not being found anywhere is the same cause and goes to standard error only.
"$bin/tirtool" unpack "$work/data/tir.val" "$work/loose" > /dev/null
rm "$work/loose/CREDIT0.JPG"
"$bin/tirtool" pack "$work/holed/tir.val" "$work/loose"/* > /dev/null
start holed "$bin/devplayer" --data "$work/holed"
if box=$(find_window "File systema error" 60); then
    xdotool windowfocus --sync "$box" key Return 2> /dev/null
    wait_end 30
    echo "after OK: exit $code"
    [[ "$code" == 1 ]] || fail "holed: exit code $code"
    grep -q "FILE NOT FOUND" "$work/holed.log" || fail "holed: no FILE NOT FOUND on standard error"
else
    wait_end 1
    fail "holed: no box for the archive's miss ($code)"
fi

echo "== SIGINT while the setup dialog waits"
start dialog "$bin/player" --data "$work/data"
if find_window "Quorvetta :: T I R V A L" 30 > /dev/null; then
    kill -INT "$pid"
    wait_end 10
    [[ "$code" == 130 ]] || fail "dialog: SIGINT gave $code"
else
    wait_end 1
    fail "dialog: no dialog ($code)"
fi

# Whether a window of the class $1 (the program's name) is on the screen.
has_window_of_class() {
    xwininfo -root -tree 2> /dev/null | grep -qF "(\"$1\" "
}

# A window of the class $2 covers the screen and shows the 4:3 picture pillarboxed: waits for it,
# then for its picture (the demo's first seconds fade in), and checks a screenshot.
full_screen() {
    local label=$1 class=$2 seen=
    for ((i = 0; i < 60 * 20; ++i)); do
        if has_window_of_class "$class"; then
            seen=1
            break
        fi
        kill -0 "$pid" 2> /dev/null || break
        sleep 0.05
    done
    if [[ -n $seen ]]; then
        local ok=
        for ((try = 0; try < 240; ++try)); do
            sleep 0.25
            xwd -root -silent > "$work/$label.xwd"
            if python3 "$here/screen_picture.py" "$work/$label.xwd" 960 720 > "$work/$label.txt"; then
                ok=1
                break
            fi
        done
        echo "$label: $(cat "$work/$label.txt")"
        [[ -n $ok ]] || fail "$label: $(cat "$work/$label.txt")"
    else
        fail "$label: no window of $class"
    fi
    kill -INT "$pid" 2> /dev/null
    wait_end 30
}

echo "== full screen is the whole screen, without a window manager"
start fs-player "$bin/player" --defaults --data "$work/data"
full_screen fs-player player
start fs-devplayer "$bin/devplayer" --data "$work/data" --at 20
full_screen fs-devplayer devplayer

echo "== and with one"
openbox > "$work/openbox.log" 2>&1 &
wm=$!
sleep 1
start wm-player "$bin/player" --defaults --data "$work/data"
full_screen wm-player player
start wm-devplayer "$bin/devplayer" --data "$work/data" --at 20
full_screen wm-devplayer devplayer
kill "$wm" 2> /dev/null
wait "$wm" 2> /dev/null

if ((failures > 0)); then
    for log in "$work"/*.log; do
        echo "--- $log"
        cat "$log"
    done
    exit 1
fi
echo "all passed"
