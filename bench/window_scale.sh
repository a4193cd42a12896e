#!/usr/bin/env bash
# The window with a very large list under Xvfb: 65,536 and 100,000 loopback hosts (127.4.0.1
# upwards, skipping .0 and .255) pinged every second. Per host count:
#   - seconds from start until the list shows rows: the window is grabbed every 100 ms and
#     its lower three quarters (the list, below the toolbar's green icons) searched for the
#     rows' green text;
#   - CPU seconds per round over 30 s (30 rounds), beside the console on the same list
#     (the difference between a run of 2 and of 2 + K rounds, over K, so that reading the
#     list is not counted);
#   - resident memory after 1, M/2 and M minutes, and whether it stayed within 5 % over the
#     second half (the sample rings fill their budget, 256 MB by default, in the first minutes:
#     at 65,536 hosts a second, in about four);
#   - how long after a round starts the process goes idle again: the process's CPU time is
#     read every 20 ms for 10 s and the busy stretches measured. An approximation of the time
#     from a round's last reply to its last row painted: the window gives no sign of it;
#   - seconds from SIGTERM to exit.
#   window: N hosts, rows painted X s, Y CPU-s/round (console Z), RSS A MB at 1 min, H MB at M/2 min, B MB at M min (flat|growing), idle after round C s, close D s
# The runtime folder, where the history files live, is on tmpfs as a session's is.
# Usage: bench/window_scale.sh [bin-dir]   (default: build/release/bin)
# SCALE_WINDOW_SIZES picks the counts, SCALE_WINDOW_MINUTES the long run (default 10),
# SCALE_WINDOW_CONSOLE_ROUNDS the console's K (default 20), SCALE_WINDOW_SHOT a file for a
# screenshot of the screen at 65,536 hosts (none by default).
# Always exits 0: figures only. The grabs and samplers share the machine with the program.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-${SONDREL_BIN_DIR:-$top/build/release/bin}}
program=$bin/sondrel
sizes=${SCALE_WINDOW_SIZES:-65536 100000}
minutes=${SCALE_WINDOW_MINUTES:-10}
console_rounds=${SCALE_WINDOW_CONSOLE_ROUNDS:-20}
shot=${SCALE_WINDOW_SHOT:-}
[ -x "$program" ] || { echo "window_scale: SKIPPED: $program is not built"; exit 0; }
for tool in xvfb-run Xvfb xdotool import python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "window_scale: SKIPPED: $tool is not installed"; exit 0; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A list file: interval, count, then address and named flag (0) per host, little-endian.
write_list() {  # $1 file, $2 interval, $3 host count
  python3 "$top/bench/loopback_list.py" "$1" "$2" "$3"
}

# CPU seconds (user + sys) of a console run of $2 rounds over list $1.
console_cpu() {
  /usr/bin/time -o "$work/console.time" -f "%U %S" \
    "$program" --console --quiet --interval 1 --rounds "$2" "$1" >/dev/null 2>&1
  awk '{ printf "%.3f", $1 + $2 }' "$work/console.time"
}

# Runs inside the X server: starts the window, measures, ends it. Writes key=value lines.
cat >"$work/measure.py" <<'PY'
import os, signal, subprocess, sys, tempfile, time

program, config, minutes, shot, out, instance = sys.argv[1:7]
minutes = float(minutes)
CLK = os.sysconf('SC_CLK_TCK')
ROWS_TIMEOUT = 900

env = dict(os.environ, SONDREL_CONFIG_DIR=config, SONDREL_INSTANCE_NAME=instance,
           XDG_RUNTIME_DIR=tempfile.mkdtemp(dir='/dev/shm' if os.path.isdir('/dev/shm') else None),
           XDG_CONFIG_HOME=os.path.join(config, 'xdg'))
log = open(os.path.join(config, 'log'), 'wb')
t0 = time.monotonic()
proc = subprocess.Popen([program], env=env, stdout=log, stderr=subprocess.STDOUT)
results = {}

def ticks():
    with open(f'/proc/{proc.pid}/stat') as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return int(fields[11]) + int(fields[12])

def rss_mb():
    with open(f'/proc/{proc.pid}/status') as f:
        for line in f:
            if line.startswith('VmRSS:'):
                return int(line.split()[1]) / 1024
    return 0.0

def run(*args):
    return subprocess.run(args, capture_output=True).stdout

def main_window():
    """The largest visible window titled Sondrel, as (id, width, height), or None."""
    best = None
    for wid in run('xdotool', 'search', '--onlyvisible', '--name', '^Sondrel$').split():
        geo = dict(line.split('=', 1) for line in
                   run('xdotool', 'getwindowgeometry', '--shell', wid).decode().split())
        w, h = int(geo.get('WIDTH', 0)), int(geo.get('HEIGHT', 0))
        if best is None or w * h > best[1] * best[2]:
            best = (wid.decode(), w, h)
    return best

def green_pixels(window):
    """Pixels of the rows' green text in the lower three quarters of the window."""
    wid, w, h = window
    data = run('import', '-silent', '-window', wid, '-depth', '8', 'rgb:-')
    if len(data) < w * h * 3:
        return 0
    px = data[(h // 4) * w * 3:w * h * 3]
    return sum(1 for r, g, b in zip(px[0::3], px[1::3], px[2::3])
               if g >= 160 and r < 100 and b < 100)

def wait_for_rows():
    deadline = t0 + ROWS_TIMEOUT
    window = None
    while time.monotonic() < deadline and proc.poll() is None:
        window = window or main_window()
        if window and green_pixels(window) >= 100:
            return f'{time.monotonic() - t0:.1f}'
        time.sleep(0.1)
    return 'never'

def busy_stretches(seconds=10.0, step=0.02, gap=3):
    """Lengths of the stretches in which the process used CPU, short pauses bridged."""
    samples, last = [], ticks()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        time.sleep(step)
        now = ticks()
        samples.append((time.monotonic(), now > last))
        last = now
    stretches, start, idle = [], None, 0
    for t, busy in samples:
        if busy:
            start, idle, stop = (start or t), 0, t
        elif start is not None:
            idle += 1
            if idle > gap:
                stretches.append(stop - start + step)
                start = None
    return stretches, start is not None

def sleep_until(offset):
    time.sleep(max(0.0, t0 + offset - time.monotonic()))

try:
    results['rows'] = wait_for_rows()
    before = ticks()
    time.sleep(30)
    results['cpu'] = f'{(ticks() - before) / CLK / 30:.3f}'
    stretches, open_ended = busy_stretches()
    if not stretches:
        results['idle'] = 'never idle' if open_ended else 'n/a'
    else:
        stretches.sort()
        results['idle'] = f'{stretches[len(stretches) // 2]:.2f}'
        results['idle_detail'] = (f'{len(stretches)} busy stretches in 10 s, '
                                  f'min {stretches[0]:.2f} max {stretches[-1]:.2f} s')
    sleep_until(60)
    results['rss1'] = f'{rss_mb():.1f}'
    if shot:
        subprocess.run(['import', '-silent', '-window', 'root', shot])
    sleep_until(minutes * 30)
    results['rss_half'] = f'{rss_mb():.1f}'
    sleep_until(minutes * 60)
    results['rss2'] = f'{rss_mb():.1f}'
    results['rss_at'] = f'{(time.monotonic() - t0) / 60:.1f}'
except (FileNotFoundError, ProcessLookupError):
    results['died'] = f'exited with {proc.poll()} after {time.monotonic() - t0:.0f} s'

if proc.poll() is None:
    start = time.monotonic()
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=300)
        results['close'] = f'{time.monotonic() - start:.2f}'
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        results['close'] = 'over 300 (killed)'
subprocess.run(['rm', '-rf', env['XDG_RUNTIME_DIR']])
with open(out, 'w') as f:
    for key, value in results.items():
        f.write(f'{key}={value}\n')
PY

for n in $sizes; do
  dir=$work/w$n
  mkdir -p "$dir"
  write_list "$dir/default.ipl" 1 "$n"
  cp "$dir/default.ipl" "$work/list-$n.ipl"

  few=$(console_cpu "$work/list-$n.ipl" 2)
  many=$(console_cpu "$work/list-$n.ipl" $((2 + console_rounds)))
  console=$(awk -v a="$few" -v b="$many" -v k="$console_rounds" 'BEGIN { printf "%.3f", (b - a) / k }')

  shot_here=
  [ "$n" = 65536 ] && shot_here=$shot
  xvfb-run -a -s "-screen 0 1024x768x24" python3 "$work/measure.py" "$program" "$dir" "$minutes" \
    "$shot_here" "$dir/results" "sondrel-bench-$$" >/dev/null 2>&1
  declare -A r=()
  while IFS='=' read -r key value; do r[$key]=$value; done <"$dir/results" 2>/dev/null
  if [ -n "${r[died]:-}" ]; then
    echo "window: $n hosts: the window ${r[died]}; its output:"
    tail -n 5 "$dir/log"
    unset r
    continue
  fi
  trend=$(awk -v a="${r[rss_half]:-0}" -v b="${r[rss2]:-0}" \
    'BEGIN { d = b - a; if (d < 0) d = -d; print (a > 0 && d <= 0.05 * a) ? "flat" : "growing" }')
  [ -n "${r[idle_detail]:-}" ] && echo "  $n hosts: ${r[idle_detail]} (CPU sampled every 20 ms)"
  echo "window: $n hosts, rows painted ${r[rows]:-?} s, ${r[cpu]:-?} CPU-s/round (console $console)," \
    "RSS ${r[rss1]:-?} MB at 1 min, ${r[rss_half]:-?} MB at $((minutes / 2)) min," \
    "${r[rss2]:-?} MB at ${r[rss_at]:-$minutes} min ($trend)," \
    "idle after round ${r[idle]:-?} s, close ${r[close]:-?} s"
  unset r
done
exit 0
