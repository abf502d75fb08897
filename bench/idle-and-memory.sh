#!/usr/bin/env bash
# Resident memory after start-up with an empty store, beside a bare Qt Widgets
# program with one hidden window, and the wake-ups of each over 30 seconds of
# nothing happening. Runs both on a display, window manager and session bus of
# its own.
#   bench/idle-and-memory.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
source "$here/../tests/x11/session.sh"

x11_require Xvfb openbox dbus-daemon xprop
x11_start_display
x11_start_wm
x11_start_bus
unset QT_QPA_PLATFORM

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
# Voluntary context switches per thread ("tid count" lines): each is one
# wake-up. Involuntary ones are the scheduler taking the processor away on a
# busy machine, not the program waking.
switches() {
    local status tid
    for status in /proc/"$1"/task/*/status; do
        tid=${status%/status}
        tid=${tid##*/}
        awk -v tid="$tid" '/^voluntary_ctxt_switches/ {s += $2} END {print tid, s}' "$status"
    done
}
# The wake-ups between two samples: a thread's count only grows, a thread
# that came counts from 0, one that went counts what it did before it went.
wakeups() {
    awk 'NR == FNR {before[$1] = $2; next} {total += $2 - ($1 in before ? before[$1] : 0)}
         END {print total}' "$1" "$2"
}
measure() {
    local name=$1 pid=$2
    sleep 3
    local rss
    rss=$(rss_kb "$pid")
    switches "$pid" >"$x11_work/$name.before"
    sleep 30
    switches "$pid" >"$x11_work/$name.after"
    echo "$name: resident ${rss} kB, threads $(ls /proc/"$pid"/task | wc -l)," \
        "wake-ups in 30 s: $(wakeups "$x11_work/$name.before" "$x11_work/$name.after")"
    echo "$rss" >"$x11_work/$name.rss"
}

# An everyday start: the tutorial of the very first start is done.
mkdir -p "$XDG_CONFIG_HOME/Tarvo"
printf '[General]\nhasCompletedOnboarding=true\n' >"$XDG_CONFIG_HOME/Tarvo/Tarvo.conf"
"$build/TarvoApp/tarvo" >"$x11_work/tarvo.log" 2>&1 &
tarvo=$!
x11_pids+=("$tarvo")
"$build/bench/tarvo-bench-bare-widgets" >/dev/null 2>&1 &
bare=$!
x11_pids+=("$bare")
measure tarvo "$tarvo" &
first=$!
measure bare "$bare" &
second=$!
wait "$first" "$second"
awk -v t="$(cat "$x11_work/tarvo.rss")" -v b="$(cat "$x11_work/bare.rss")" \
    'BEGIN { printf "tarvo / bare: %.2f\n", t / b }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "tarvo's largest mappings (kB resident):"
awk '/^[0-9a-f]+-/ {name = $6} /^Rss:/ {rss[name] += $2} END {for (n in rss) print rss[n], n}' \
    "/proc/$tarvo/smaps" | sort -rn | head -12
