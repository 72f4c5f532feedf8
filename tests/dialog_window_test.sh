#!/usr/bin/env bash
# dialog_window_test.sh - the release player's setup dialog in a real window under Xvfb, with a
# window manager as on a desktop (full screen is the window manager's to grant), driven with
# xdotool as a person would: Enter starts the demo with the defaults (full screen), Escape
# cancels (no demo window, exit code 0), and choosing 800 x 600 with "Fullscreen" unchecked gives
# an 800 x 600 window. Each demo is then closed with Escape and must end with code 0.
#
# usage: dialog_window_test.sh BIN_DIR   (exit 77 = skipped: no xvfb-run, xdotool or openbox)
set -u

if [[ "${1:-}" != --inside ]]; then
    bin=$(cd "$1" && pwd)
    for tool in xvfb-run xdotool openbox; do
        if ! command -v $tool > /dev/null; then
            echo "skipped: needs xvfb-run, xdotool and openbox (scripts/setup-tests installs them)"
            exit 77
        fi
    done
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    if ! "$bin/forge" --out "$work/data" > "$work/forge.log" 2>&1; then
        cat "$work/forge.log"
        exit 1
    fi
    xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --inside "$bin" "$work"
    exit $?
fi

bin=$2
work=$3
# A real window: whatever driver the caller's shell chose for headless runs does not apply here.
unset SDL_VIDEODRIVER
export SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0
dialog='^Quorvetta :: T I R V A L$'
demo='^Quorvetta T I R V A L$'
failures=0
pid=

openbox --startup "touch $work/wm-ready" > "$work/openbox.log" 2>&1 &
for ((i = 0; i < 200; ++i)); do
    [[ -e "$work/wm-ready" ]] && break
    sleep 0.1
done
if [[ ! -e "$work/wm-ready" ]]; then
    echo "FAIL: the window manager did not start"
    cat "$work/openbox.log"
    exit 1
fi

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Prints "ID WIDTH HEIGHT" for each shown window of the player started last that is named like
# $1. While the player moves from the dialog to the demo, more than one may carry a name for a
# moment, so callers pick by size.
windows_named() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$pid" --name "$1" 2> /dev/null); do
        WIDTH= HEIGHT=
        eval "$(xdotool getwindowgeometry --shell "$id" 2> /dev/null)"
        [[ -n "$WIDTH" ]] && echo "$id $WIDTH $HEIGHT"
    done
}

# Prints the id of the largest shown window named like $1, waiting up to $2 seconds for one.
find_window() {
    local found
    for ((i = 0; i < $2 * 10; ++i)); do
        found=$(windows_named "$1" | sort -k2,2nr -k3,3nr | head -n 1)
        if [[ -n "$found" ]]; then
            echo "${found%% *}"
            return 0
        fi
        if ! kill -0 "$pid" 2> /dev/null; then
            return 1
        fi
        sleep 0.1
    done
    return 1
}

# Prints the id of a shown window named like $1 that is $2 x $3 pixels, waiting up to $4
# seconds for one (the window manager may still be granting the size).
find_window_sized() {
    local id width height
    for ((i = 0; i < $4 * 10; ++i)); do
        while read -r id width height; do
            if [[ "$width $height" == "$2 $3" ]]; then
                echo "$id"
                return 0
            fi
        done < <(windows_named "$1")
        kill -0 "$pid" 2> /dev/null || return 1
        sleep 0.1
    done
    return 1
}

# What the player has on the screen, for a failure's report.
list_windows() {
    echo "shown windows of the player:"
    xdotool search --onlyvisible --pid "$pid" --name . 2> /dev/null | while read -r id; do
        echo "  $id \"$(xdotool getwindowname "$id" 2> /dev/null)\" $(xdotool getwindowgeometry "$id" 2> /dev/null | grep Geometry)"
    done
}

# Waits for the player to end (up to $1 seconds) and sets `code` to its exit code.
wait_player() {
    for ((i = 0; i < $1 * 10; ++i)); do
        if ! kill -0 "$pid" 2> /dev/null; then
            wait "$pid"
            code=$?
            return
        fi
        sleep 0.1
    done
    kill -KILL "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
    code=timeout
}

start_player() {
    "$bin/player" --data "$work/data" > "$work/$1.log" 2>&1 &
    pid=$!
}

# Focuses window $1 and types the keys that follow. A window the window manager is still
# mapping (full screen may take it down and up again) answers a focus request with an X error,
# so the request is made again, for up to 30 seconds.
type_keys() {
    local window=$1
    shift
    local focused=0
    for ((i = 0; i < 150; ++i)); do
        if timeout 10 xdotool windowfocus --sync "$window" 2> /dev/null; then
            focused=1
            break
        fi
        sleep 0.2
    done
    if ((!focused)); then
        echo "window $window took no focus"
        list_windows
    fi
    for key in "$@"; do
        xdotool key --clearmodifiers "$key"
    done
}

# Closes the demo with Escape and expects a clean end.
close_demo() {
    type_keys "$1" Escape
    wait_player 60
    [[ "$code" == 0 ]] || fail "$2: the demo ended with $code after Escape"
}

echo "== Enter takes the defaults"
start_player enter
if d=$(find_window "$dialog" 60); then
    type_keys "$d" Return
    if w=$(find_window "$demo" 180); then
        # Full screen: the window covers the whole screen, either in the exact 640 x 480 mode,
        # which the screen switches to where the server offers one, or as the desktop with the
        # picture pillarboxed. A plain window would leave the 1024 x 768 screen around it.
        covered=0
        for ((j = 0; j < 300; ++j)); do
            screen=$(xdotool getdisplaygeometry)
            c=$(windows_named "$demo" | awk -v size="$screen" '$2 " " $3 == size { print $1; exit }')
            if [[ -n "$c" ]]; then
                w=$c
                covered=1
                break
            fi
            sleep 0.1
        done
        eval "$(xdotool getwindowgeometry --shell "$w")"
        echo "demo window: $WIDTH x $HEIGHT on a screen of ${screen/ / x }"
        if [[ $covered != 1 ]]; then
            fail "enter: the demo window does not cover the screen"
            list_windows
        fi
        [[ "$WIDTH x $HEIGHT" == "640 x 480" || "$WIDTH x $HEIGHT" == "1024 x 768" ]] ||
            fail "enter: the demo window is $WIDTH x $HEIGHT"
        close_demo "$w" enter
    else
        fail "enter: no demo window"
    fi
else
    fail "enter: no dialog"
fi

echo "== Escape cancels"
start_player escape
if d=$(find_window "$dialog" 60); then
    type_keys "$d" Escape
    appeared=0
    for ((i = 0; i < 600; ++i)); do
        kill -0 "$pid" 2> /dev/null || break
        if xdotool search --name "$demo" > /dev/null 2>&1; then
            appeared=1
        fi
        sleep 0.05
    done
    wait_player 30
    echo "exit code: $code"
    [[ $appeared == 0 ]] || fail "escape: a demo window appeared"
    [[ $code == 0 ]] || fail "escape: exit code $code"
else
    fail "escape: no dialog"
fi

echo "== 800 x 600 in a window"
start_player windowed
if d=$(find_window "$dialog" 60); then
    # Tab order: OK, Cancel, resolution, colour depth, sound device, Fullscreen.
    type_keys "$d" Tab Tab Down Tab Tab Tab space Return
    if w=$(find_window "$demo" 180); then
        if c=$(find_window_sized "$demo" 800 600 30); then
            w=$c
        else
            list_windows
        fi
        eval "$(xdotool getwindowgeometry --shell "$w")"
        screen=$(xdotool getdisplaygeometry)
        echo "demo window: $WIDTH x $HEIGHT on a screen of ${screen/ / x }"
        [[ "$WIDTH x $HEIGHT" == "800 x 600" ]] || fail "windowed: the demo window is $WIDTH x $HEIGHT"
        [[ "$screen" == "1024 768" ]] || fail "windowed: the screen changed to $screen"
        close_demo "$w" windowed
    else
        fail "windowed: no demo window"
    fi
else
    fail "windowed: no dialog"
fi

if ((failures > 0)); then
    for log in "$work"/*.log; do
        echo "--- $log"
        cat "$log"
    done
    exit 1
fi
echo "all passed"
