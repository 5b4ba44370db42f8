# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the end-to-end test and the screenshot script: a private Xvfb display and
# small xdotool helpers for driving the real program. Source it; it defines functions only.

x11_start() { # x11_start WIDTH HEIGHT: starts Xvfb on a free display and exports DISPLAY
    # Xvfb picks the display itself and writes its number once it accepts clients, so two
    # runs at once (two checkouts, or containers sharing a network namespace, where the
    # lock files of /tmp do not show the other's display) never share one.
    local width=$1 height=$2 number_file fd display=
    number_file=$(mktemp)
    exec {fd}>"$number_file"
    Xvfb -displayfd "$fd" -screen 0 "${width}x${height}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
    X11_PID=$!
    exec {fd}>&-
    for _ in $(seq 1 200); do
        display=$(tr -dc '0-9' <"$number_file")
        [ -n "$display" ] && break
        kill -0 "$X11_PID" 2>/dev/null || break
        sleep 0.05
    done
    rm -f "$number_file"
    if [ -z "$display" ]; then
        kill "$X11_PID" 2>/dev/null || true
        X11_PID=
        echo "could not start Xvfb" >&2
        return 1
    fi
    export DISPLAY=":${display}"
}

x11_stop() {
    if [ -n "${X11_PID:-}" ]; then
        kill "$X11_PID" 2>/dev/null || true
        wait "$X11_PID" 2>/dev/null || true
        X11_PID=
    fi
}

# wait_window TITLE-REGEX [SECONDS]: prints the id of a visible window with that title.
wait_window() {
    local pattern=$1 limit=${2:-20} id
    for _ in $(seq 1 $((limit * 10))); do
        id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -1 || true)
        if [ -n "$id" ]; then echo "$id"; return 0; fi
        sleep 0.1
    done
    echo "no window '$pattern' after ${limit}s" >&2
    return 1
}

# wait_gone TITLE-REGEX [SECONDS]: returns once no visible window has that title.
wait_gone() {
    local pattern=$1 limit=${2:-20}
    for _ in $(seq 1 $((limit * 10))); do
        if [ -z "$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null || true)" ]; then return 0; fi
        sleep 0.1
    done
    echo "window '$pattern' still open after ${limit}s" >&2
    return 1
}

# click WINDOW X Y: a real left click at a point of the window.
click() {
    xdotool mousemove --sync --window "$1" "$2" "$3"
    sleep 0.15
    xdotool click 1
    sleep 0.25
}

# type_into WINDOW TEXT: focuses the window and types the text with real key events.
type_into() {
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    sleep 0.1
    xdotool type --delay 15 "$2"
}

key() { xdotool key --clearmodifiers "$@"; sleep 0.2; }
