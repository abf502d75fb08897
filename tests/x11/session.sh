# Sourced by the X11 suites' run scripts: a display, a window manager and a
# session bus of the suite's own, each stopped on every way out, with
# settings, caches and the work root inside the run's own folder.
#   x11_require TOOL...    fails unless every tool is installed
#   x11_start_display      Xvfb on a free display; exports DISPLAY and the XDG folders
#   x11_start_wm           openbox, waited for until it manages the screen
#   x11_start_bus          a private session bus; exports DBUS_SESSION_BUS_ADDRESS
#   x11_start_xfce [--compositor]
#                          xfwm4 (its compositor off unless asked for, and when
#                          asked for waited for until it composites) and
#                          xfce4-panel on its default layout, waited for until
#                          the panel's strut is in the work area; needs the
#                          display and the session bus
#   x11_start_session [--bus] [TOOL...]
#                          all of it at once: Xvfb, openbox, xprop (and dbus-daemon with
#                          --bus) and every TOOL required, the display, openbox, and
#                          with --bus the session bus
#   x11_start_desktop [TOOL...]
#                          Xvfb, a session bus and the desktop TARVO_TEST_DESKTOP
#                          names: xfce for xfwm4 with its compositor on and
#                          xfce4-panel, openbox otherwise; every TOOL required

x11_name=$(basename "$0")
x11_work=$(mktemp -d)
x11_pids=()

x11_cleanup() {
    local pid
    for pid in "${x11_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${x11_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    x11_stop_strays
    rm -rf "$x11_work"
}

# What the session's bus started on demand (the settings daemon, the
# accessibility bus) is no child of ours and may outlive the bus, holding the
# test's output open so that ctest waits for it until the suite's time is
# up. Such a process is known by the run's folder in its environment.
x11_stop_strays() {
    local environ pid strays=() _
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        [ "$pid" != $$ ] && grep -qsF "=$x11_work/" "$environ" && strays+=("$pid")
    done
    [ ${#strays[@]} -eq 0 ] && return 0
    kill "${strays[@]}" 2>/dev/null || true
    for _ in $(seq 20); do
        kill -0 "${strays[@]}" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL "${strays[@]}" 2>/dev/null || true
}
trap x11_cleanup EXIT
trap 'exit 130' INT TERM

x11_require() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null ||
            { echo "$x11_name: $tool is not installed (scripts/deps)" >&2; exit 1; }
    done
}

# Waits up to ten seconds for a command to succeed.
x11_wait_for() {
    local _
    for _ in $(seq 100); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

x11_start_display() {
    Xvfb -displayfd 3 -screen 0 "${X11_SCREEN:-1280x800}x24" -nolisten tcp -noreset \
        3>"$x11_work/display" 2>"$x11_work/xvfb.log" &
    x11_pids+=($!)
    x11_wait_for test -s "$x11_work/display" ||
        { cat "$x11_work/xvfb.log" >&2; echo "$x11_name: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n1 "$x11_work/display")"
    export HOME="$x11_work" XDG_CONFIG_HOME="$x11_work/config" XDG_CACHE_HOME="$x11_work/cache"
    export XDG_DATA_HOME="$x11_work/data" XDG_RUNTIME_DIR="$x11_work/runtime"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    export QT_QPA_PLATFORM=xcb
    # Sanitizer builds: what libdbus keeps for the life of a process is not ours.
    export LSAN_OPTIONS="suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
}

x11_wm_ready() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

x11_start_wm() {
    openbox --sm-disable >"$x11_work/openbox.log" 2>&1 &
    x11_pids+=($!)
    x11_wait_for x11_wm_ready || { echo "$x11_name: openbox did not start" >&2; exit 1; }
}

# Waits up to twenty seconds for a compositing manager to own the screen's
# compositor selection: xfwm4 takes it once it has set up compositing, which
# may be after it began managing windows. One process polls, as a start of
# python3 can itself take seconds on a loaded machine.
x11_wait_for_compositor() {
    python3 - <<'PY'
import ctypes, ctypes.util, sys, time
x = ctypes.CDLL(ctypes.util.find_library("X11"))
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
display = x.XOpenDisplay(None)
if not display:
    sys.exit(1)
selection = x.XInternAtom(display, b"_NET_WM_CM_S0", 0)
deadline = time.monotonic() + 20
while not x.XGetSelectionOwner(display, selection):
    if time.monotonic() > deadline:
        sys.exit(1)
    time.sleep(0.05)
PY
}

x11_start_xfce() {
    local compositor=off
    if [ "${1:-}" = --compositor ]; then
        compositor=on
        x11_require python3
    fi
    x11_require xfwm4 xfce4-panel
    # The panel's default layout, as a first login gets it, without the
    # question the panel asks when it finds no configuration.
    local channels="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
    mkdir -p "$channels"
    cp /etc/xdg/xfce4/panel/default.xml "$channels/xfce4-panel.xml"
    xfwm4 --compositor=$compositor --sm-client-disable >"$x11_work/xfwm4.log" 2>&1 &
    x11_pids+=($!)
    x11_wait_for x11_wm_ready || { echo "$x11_name: xfwm4 did not start" >&2; exit 1; }
    if [ $compositor = on ]; then
        x11_wait_for_compositor ||
            { cat "$x11_work/xfwm4.log" >&2; echo "$x11_name: xfwm4 did not composite" >&2; exit 1; }
    fi
    xfce4-panel --sm-client-disable >"$x11_work/panel.log" 2>&1 &
    x11_pids+=($!)
    local _
    for _ in $(seq 300); do
        xprop -root _NET_WORKAREA 2>/dev/null | grep -Eq '= 0, [1-9][0-9]*,' && return 0
        sleep 0.1
    done
    cat "$x11_work/panel.log" >&2
    echo "$x11_name: xfce4-panel took no strut" >&2
    exit 1
}

x11_start_bus() {
    # Services it starts write where it does, never into the test's output.
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$x11_work/bus" \
        --print-address=4 4>"$x11_work/bus-address" >"$x11_work/bus.log" 2>&1 &
    x11_pids+=($!)
    x11_wait_for test -s "$x11_work/bus-address" ||
        { echo "$x11_name: no session bus" >&2; exit 1; }
    export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$x11_work/bus-address")"
}

x11_start_session() {
    local bus=false
    if [ "${1:-}" = --bus ]; then
        bus=true
        shift
        set -- dbus-daemon "$@"
    fi
    x11_require Xvfb openbox xprop "$@"
    x11_start_display
    x11_start_wm
    if $bus; then
        x11_start_bus
    fi
}

x11_start_desktop() {
    x11_require Xvfb xprop dbus-daemon "$@"
    x11_start_display
    x11_start_bus
    if [ "${TARVO_TEST_DESKTOP:-}" = xfce ]; then
        x11_start_xfce --compositor
    else
        x11_start_wm
    fi
}
