# SPDX-License-Identifier: GPL-3.0-or-later
# A private session bus and accessibility bus, as a desktop session has them, for reading a
# program's window through AT-SPI. Source it; it defines functions only.

# a11y_missing: prints what this machine lacks for the accessibility bus, nothing when all is there.
a11y_missing() {
    local missing=()
    command -v dbus-daemon >/dev/null 2>&1 || missing+=(dbus-daemon)
    a11y_launcher >/dev/null || missing+=(at-spi-bus-launcher)
    /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || missing+=(python3-pyatspi)
    echo "${missing[*]}"
}

a11y_launcher() {
    local path
    for path in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
        [ -x "$path" ] && { echo "$path"; return 0; }
    done
    return 1
}

# a11y_start: starts the session bus and the accessibility bus launcher; exports
# DBUS_SESSION_BUS_ADDRESS and the variables that make Qt talk to the bus.
a11y_start() {
    local out
    out=$(dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1) || return 1
    export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$out")
    A11Y_DBUS_PID=$(sed -n 2p <<<"$out")
    "$(a11y_launcher)" --launch-immediately >/dev/null 2>&1 &
    A11Y_LAUNCHER_PID=$!
    # The launcher owns org.a11y.Bus once the accessibility bus is up.
    local _
    for _ in $(seq 1 100); do
        if dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
            >/dev/null 2>&1; then
            break
        fi
        sleep 0.1
    done
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0
}

a11y_stop() {
    if [ -n "${A11Y_LAUNCHER_PID:-}" ]; then
        kill "$A11Y_LAUNCHER_PID" 2>/dev/null || true
        wait "$A11Y_LAUNCHER_PID" 2>/dev/null || true
        A11Y_LAUNCHER_PID=
    fi
    if [ -n "${A11Y_DBUS_PID:-}" ]; then
        kill "$A11Y_DBUS_PID" 2>/dev/null || true
        A11Y_DBUS_PID=
    fi
}
