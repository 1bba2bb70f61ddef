#!/usr/bin/env bash
# Full updates by the command-line program in its own process, as a user runs it, against the
# simulated unit in another process: over UDP on loopback (wall, CPU, peak memory), and over a
# pseudo-terminal paced at 115200 baud, by the Linux build and by the Windows build under Wine
# (its COM7 mapped to the pseudo-terminal).
#   bench-cli.sh udp | serial | wine-serial | rack | running | rack-window
#   (build/linux, and build/windows for wine-serial and rack-window)
# rack-window: sixteen units over UDP through the desktop program's rack window (driven by the
# keyboard with xdotool on Xvfb) against tessaline-update.exe for the same sixteen, both under
# Wine in one run; then the window process's peak memory with 16 units against 1.
# running: one unit in application mode (with its restart delay) taken with the PIN to running the
# package alone, then 16 at once; wall of each and the ratio; then the loopback floor (the same
# exchanges with nothing but the system calls) and the best ratio it leaves.
# rack: one unit over UDP alone, then 16 at once; one serial line paced at 115200 alone, then 4 at
# once; wall, CPU and peak memory of each run with the load average, and the ratios. The simulated
# units' CPU is shown beside the updater's: on one machine both share its cores.
# The serial figures come from the simulated unit's log: the bytes the line carried and the
# host's turnaround (a reply's last byte to the next request's first byte).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:?usage: bench-cli.sh udp|serial|wine-serial|rack|running|rack-window}
build="$root/build/linux"
sim="$build/tools/unit-sim/tessaline-unit-sim"
cli="$build/src/cli/tessaline-update"
exe="$root/build/windows/src/cli/tessaline-update.exe"
line_rate=115200
udp_address=127.0.12.7

work=$(mktemp -d /tmp/tessaline-bench.XXXXXX)
sim_pid=""
wine_prefix=""
stop_unit() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid"
    wait "$sim_pid" || true
  fi
  sim_pid=""
}
cleanup() {
  stop_unit
  if [ -n "$wine_prefix" ]; then
    WINEPREFIX=$wine_prefix timeout 30 wineserver -k >/dev/null 2>&1 || true
    rm -rf "$wine_prefix"
  fi
  rm -rf "$work"
}
trap cleanup EXIT

start_unit() {
  "$sim" --app-version 1.1 --log "$work/unit.json" "$@" >"$work/unit.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q '^ready' "$work/unit.out" 2>/dev/null && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "bench-cli: the simulated unit did not start" >&2
  cat "$work/unit.out" >&2
  exit 1
}

# CPU seconds the simulated unit has used so far.
unit_cpu() {
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.2f", ($12 + $13) / hz }' \
    "/proc/$sim_pid/stat"
}

# Prints the serial line's figures from the unit's log; $1 names the run, $2 its wall seconds.
report_serial() {
  jq -r --arg run "$1" --argjson wall "$2" --argjson rate "$line_rate" '
    .serialLine as $l
    | (($l.bytesToUnit + $l.bytesFromUnit) * 10 / $rate) as $wire
    | "\($run): update \(if .updateFinished then "finished" else "NOT FINISHED" end), " +
      "\($l.bytesToUnit) bytes to the unit, \($l.bytesFromUnit) from it; wire limit " +
      "\($wire * 1000 | round / 1000) s",
      "\($run): host turnaround \($l.turnarounds) times, total \($l.turnaroundTotalMs / 1000 * 1000 | round / 1000) s, " +
      "median \($l.turnaroundMedianMs * 1000 | round / 1000) ms, 99th percentile \($l.turnaroundP99Ms * 1000 | round / 1000) ms",
      "\($run): (wire limit + turnaround) / wire limit = \(($wire + $l.turnaroundTotalMs / 1000) / $wire * 1000 | round / 1000); " +
      "wall \($wall) s, wall / wire limit = \($wall / $wire * 1000 | round / 1000)"' "$work/unit.json"
}

case "$mode" in
  udp)
    start_unit --udp "$udp_address"
    /usr/bin/time -o "$work/time" -f '%e %U %S %M' "$cli" update --ip "$udp_address" >/dev/null
    stop_unit
    read -r wall user system peak <"$work/time"
    finished=$(jq -r 'if .updateFinished then "finished" else "NOT FINISHED" end' "$work/unit.json")
    echo "udp cli: update $finished; wall $wall s, CPU $(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }') s" \
      "(user $user s, kernel $system s), peak resident memory $((peak / 1024)) MB ($peak KB)"
    ;;
  serial)
    start_unit --serial-link "$work/line" --line-rate "$line_rate"
    begin=$(date +%s%N)
    "$cli" update --port "$work/line" >/dev/null
    wall=$((($(date +%s%N) - begin) / 1000000))
    stop_unit
    report_serial "serial linux" "$(awk -v ms="$wall" 'BEGIN { printf "%.2f", ms / 1000 }')"
    ;;
  wine-serial)
    [ -f "$exe" ] || { echo "bench-cli: build $exe first (scripts/test.sh's Windows build)" >&2; exit 1; }
    wine_prefix=$(mktemp -d /tmp/tessaline-bench-wine.XXXXXX)
    "$root/scripts/wine-prefix.sh" "$wine_prefix" >/dev/null 2>&1
    "$root/scripts/wine-serial-ports.sh" "$wine_prefix" "COM7=$work/line" >/dev/null 2>&1
    start_unit --serial-link "$work/line" --line-rate "$line_rate"
    export WINEPREFIX=$wine_prefix WINEDEBUG=-all
    begin=$(date +%s%N)
    timeout 900 wine "$exe" update --port '\\.\COM7' >/dev/null 2>"$work/wine.err"
    wall=$((($(date +%s%N) - begin) / 1000000))
    stop_unit
    report_serial "serial wine" "$(awk -v ms="$wall" 'BEGIN { printf "%.2f", ms / 1000 }')"
    ;;
  rack)
    # Runs the program under time(1) with the given unit options; prints one line of figures and
    # leaves the wall seconds and peak KB in $wall and $peak.
    timed() {
      local name=$1 code
      shift
      code=0
      /usr/bin/time -o "$work/time" -f '%e %U %S %M' "$cli" update "$@" >"$work/run.out" 2>&1 || code=$?
      read -r wall user system peak <"$work/time"
      cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
      unit=$(unit_cpu)
      echo "$name: exit $code; wall $wall s, CPU $cpu s (simulated units $unit s)," \
        "peak resident memory $peak KB; load average $(cut -d' ' -f1-3 /proc/loadavg)"
    }
    # The least wall time the CPU of both programs allows on this machine's cores.
    cores=$(nproc)
    cpu_bound() { awk -v a="$1" -v b="$2" -v n="$cores" 'BEGIN { printf "%.2f", (a + b) / n }'; }
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
    rack_ips() { for k in $(seq "$2"); do echo "--ip 127.0.12.$(($1 + k - 1))"; done; }

    start_unit --udp 127.0.12.40
    timed "udp, 1 unit" --ip 127.0.12.40
    stop_unit
    udp_one=$wall udp_one_peak=$peak
    start_unit --udp 127.0.12.41 --count 16
    # shellcheck disable=SC2046
    timed "udp, 16 units at once" $(rack_ips 41 16)
    stop_unit
    echo "udp: 16 units / 1 unit: wall $(ratio "$wall" "$udp_one") (goal <= 1.5)," \
      "peak memory $(ratio "$peak" "$udp_one_peak") (goal < 2)"
    echo "udp: 16 units used $cpu s of updater CPU and $unit s of simulated units' CPU: at least" \
      "$(cpu_bound "$cpu" "$unit") s of wall on $cores cores, $(ratio "$(cpu_bound "$cpu" "$unit")" "$udp_one")" \
      "x one unit's wall"

    start_unit --serial-link "$work/line" --line-rate "$line_rate"
    timed "serial at $line_rate, 1 line" --port "$work/line"
    stop_unit
    serial_one=$wall
    start_unit --serial-link "$work/rack" --line-rate "$line_rate" --count 4
    timed "serial at $line_rate, 4 lines at once" --port "$work/rack-1" --port "$work/rack-2" \
      --port "$work/rack-3" --port "$work/rack-4"
    stop_unit
    echo "serial: 4 lines / 1 line: wall $(ratio "$wall" "$serial_one") (goal <= 1.1)"
    ;;
  running)
    # From running the old firmware to running the new one: the PIN sequence, the restart, the
    # update and the running confirmation.
    from_running() {
      local name=$1 code=0
      shift
      /usr/bin/time -o "$work/time" -f '%e' "$cli" update --pin 1234 "$@" >"$work/run.out" 2>&1 ||
        code=$?
      read -r wall <"$work/time"
      echo "$name: exit $code; wall $wall s; load average $(cut -d' ' -f1-3 /proc/loadavg)"
    }
    app_unit=(--mode application --switch-delay-ms 1000)
    start_unit --udp 127.0.12.60 --tcp-text 127.0.12.60 "${app_unit[@]}"
    from_running "running, 1 unit" --ip 127.0.12.60
    stop_unit
    running_one=$wall
    start_unit --udp 127.0.12.61 --tcp-text 127.0.12.61 --count 16 "${app_unit[@]}"
    # shellcheck disable=SC2046
    from_running "running, 16 units at once" $(for k in $(seq 16); do echo "--ip 127.0.12.$((60 + k))"; done)
    stop_unit
    echo "running: 16 units / 1 unit: wall" \
      "$(awk -v a="$wall" -v b="$running_one" 'BEGIN { printf "%.2f", a / b }') (goal <= 1.3)"
    # The same number of exchanges with nothing but the system calls: 16 units' updates share
    # this machine's cores with the simulated units, so even code that cost nothing would take
    # the floor's extra time over one unit's path.
    rounds=$(jq '.requests | length' "$work/unit-1.json")
    "$build/bench/link/loopback_floor" "$rounds" 16 | tee "$work/floor"
    floor_one=$(sed -n '1s/.*wall \([0-9.]*\) s.*/\1/p' "$work/floor")
    floor_all=$(sed -n '2s/.*wall \([0-9.]*\) s.*/\1/p' "$work/floor")
    echo "running: the best ratio the loopback floor leaves:" \
      "$(awk -v one="$running_one" -v a="$floor_all" -v b="$floor_one" \
        'BEGIN { printf "%.2f", (one + a - b) / one }')"
    ;;
  rack-window)
    program="$root/build/windows/windows/TessalineUpdater.exe"
    for built in "$exe" "$program"; do
      [ -f "$built" ] || { echo "bench-cli: build $built first (scripts/test.sh's Windows build)" >&2; exit 1; }
    done
    if [ -z "${DISPLAY:-}" ]; then
      exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
    fi
    command -v xdotool >/dev/null || { echo "bench-cli: rack-window needs xdotool" >&2; exit 1; }
    wine_prefix=$(mktemp -d /tmp/tessaline-bench-wine.XXXXXX)
    "$root/scripts/wine-prefix.sh" "$wine_prefix" >/dev/null 2>&1
    export WINEPREFIX=$wine_prefix WINEDEBUG=-all
    unset TESSALINE_KEY_DIR
    proc_cpu() {  # CPU seconds of process $1 so far; 0 when it is gone
      awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.2f", ($12 + $13) / hz }' \
        "/proc/$1/stat" 2>/dev/null || echo 0
    }
    # This prefix's wineserver (one per run: each run ends with wineserver -k) and this display's
    # X server: the work of a program under Wine that its own process does not show.
    wineserver_pid() {
      local want pid
      # shellcheck disable=SC2046
      want=$(printf 'server-%x-%x' $(stat -c '%d %i' "$wine_prefix"))
      for pid in $(pgrep -x 'wineserver(64)?'); do
        if [[ "$(readlink "/proc/$pid/cwd")" == */"$want" ]]; then
          echo "$pid"
          return
        fi
      done
    }
    xserver_pid=$(pgrep -f "^Xvfb $DISPLAY " | head -n 1)
    seconds_since() { awk -v b="$1" -v e="$(date +%s%N)" 'BEGIN { printf "%.2f", (e - b) / 1e9 }'; }
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
    ips() { for k in $(seq "$2"); do echo "127.0.13.$(($1 + k - 1))"; done; }
    # The receipts the window appends, in the prefix's per-user application data folder.
    receipt_lines() {
      local file
      file=$(find "$wine_prefix/drive_c/users" -name receipts.jsonl 2>/dev/null | head -n 1)
      if [ -n "$file" ]; then wc -l <"$file"; else echo 0; fi
    }
    # Runs UNITS... through the rack window of a fresh program; leaves $wall (seconds from
    # confirming Update All to the last receipt) and $peak (the process's peak resident KB).
    through_window() {
      local before begin pid main launcher x_before cpu_before ui_before server_before
      before=$(receipt_lines)
      timeout 900 wine "$program" >/dev/null 2>&1 &
      launcher=$!
      main=$(timeout 60 xdotool search --sync --name 'Firmware Updater$' | head -n 1)
      # The program's own process (Wine names it on its windows), not the launcher's.
      pid=$(xdotool getwindowpid "$main")
      timeout 10 xdotool windowfocus --sync "$main" 2>/dev/null || true
      sleep 1
      xdotool key --clearmodifiers ctrl+r
      timeout 30 xdotool search --sync --name '^Update Rack$' >/dev/null
      sleep 1
      xdotool type --delay 20 "$(printf '%s\n' "$@")"
      xdotool key --clearmodifiers alt+u
      timeout 30 xdotool search --sync --name '^Warning$' >/dev/null
      begin=$(date +%s%N)
      cpu_before=$(proc_cpu "$pid")
      ui_before=$(proc_cpu "$pid/task/$pid")
      server_before=$(proc_cpu "$(wineserver_pid)")
      x_before=$(proc_cpu "$xserver_pid")
      xdotool key Return
      while [ "$(receipt_lines)" -lt $((before + $#)) ]; do sleep 0.05; done
      wall=$(seconds_since "$begin")
      peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
      minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a - b }'; }
      # Counted from confirming: the program's start-up is not part of the run.
      cpu=$(minus "$(proc_cpu "$pid")" "$cpu_before")
      server_cpu=$(minus "$(proc_cpu "$(wineserver_pid)")" "$server_before")
      x_cpu=$(awk -v a="$(proc_cpu "$xserver_pid")" -v b="$x_before" 'BEGIN { printf "%.2f", a - b }')
      # The user-interface thread's share (Wine runs it on the process's first thread).
      ui_cpu=$(minus "$(proc_cpu "$pid/task/$pid")" "$ui_before")
      grep -q TessalineUpdater "/proc/$pid/cmdline" || echo "bench-cli: pid $pid is not the program" >&2
      kill -TERM "$launcher" "$pid" 2>/dev/null || true
      wait "$launcher" 2>/dev/null || true
      timeout 30 wineserver -k >/dev/null 2>&1 || true
    }
    begin=$(date +%s%N)
    timeout 60 wine "$exe" --version >/dev/null 2>&1
    startup=$(seconds_since "$begin")

    # The two take turns, so a machine whose load changes meanwhile weighs on both alike; the
    # ratio of each round and of the best of each are printed.
    rounds=${TESSALINE_BENCH_ROUNDS:-2}
    best_cli="" best_window="" window_peak=0
    for round in $(seq "$rounds"); do
      start_unit --udp 127.0.13.1 --count 16
      begin=$(date +%s%N)
      code=0
      rm -f "$work/cli-receipts.jsonl"
      # With receipts, as the window keeps them.
      # shellcheck disable=SC2046
      /usr/bin/time -o "$work/time" -f '%U %S' timeout 900 wine "$exe" update \
        $(for ip in $(ips 1 16); do echo "--ip $ip"; done) \
        --receipt "Z:$work/cli-receipts.jsonl" >"$work/cli.out" 2>&1 || code=$?
      cli_wall=$(seconds_since "$begin")
      cli_cpu=$(awk '{ printf "%.2f", $1 + $2 }' "$work/time")
      server_cpu=$(proc_cpu "$(wineserver_pid)")
      stop_unit
      echo "round $round: command line under Wine, 16 units: exit $code," \
        "$(wc -l <"$work/cli-receipts.jsonl") receipts; wall $cli_wall s, CPU $cli_cpu s," \
        "wineserver $server_cpu s;" \
        "load average $(cut -d' ' -f1-3 /proc/loadavg)"
      timeout 30 wineserver -k >/dev/null 2>&1 || true

      start_unit --udp 127.0.13.1 --count 16
      # shellcheck disable=SC2046
      through_window $(ips 1 16)
      stop_unit
      echo "round $round: rack window, 16 units: $wall s from confirming to the last receipt;" \
        "CPU from then $cpu s (its window thread $ui_cpu s), wineserver $server_cpu s," \
        "X server $x_cpu s; peak resident memory $peak KB;" \
        "load average $(cut -d' ' -f1-3 /proc/loadavg)"
      echo "round $round: window / command line: $(ratio "$wall" "$cli_wall")"
      best_cli=$(awk -v a="$cli_wall" -v b="${best_cli:-$cli_wall}" 'BEGIN { print (a < b ? a : b) }')
      best_window=$(awk -v a="$wall" -v b="${best_window:-$wall}" 'BEGIN { print (a < b ? a : b) }')
      window_peak=$((peak > window_peak ? peak : window_peak))
    done
    start_unit --udp 127.0.13.1
    through_window 127.0.13.1
    stop_unit
    echo "rack window, 1 unit: $wall s; peak resident memory $peak KB"
    echo "rack-window: best of $rounds: window $best_window s / command line $best_cli s ="\
      "$(ratio "$best_window" "$best_cli") (goal <= 1.2); the command line's wall includes its" \
      "start-up under Wine, about $startup s as tessaline-update.exe --version takes"
    echo "rack-window: peak memory 16 units / 1 unit: $window_peak KB / $peak KB =" \
      "$(ratio "$window_peak" "$peak") (goal < 2)"
    ;;
  *)
    echo "usage: bench-cli.sh udp|serial|wine-serial|rack|running|rack-window" >&2
    exit 64
    ;;
esac
