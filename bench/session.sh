# Sourced by the benchmarks that run on a display of their own: the X11
# suites' session (tests/x11/session.sh), everything stopped on the way out.
#   bench_session [--bus] [TOOL...]   Xvfb under openbox, and a session bus
#                                     with --bus; fails unless every tool is
#                                     installed
source "$(dirname "${BASH_SOURCE[0]}")/../tests/x11/session.sh"

bench_session() {
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
