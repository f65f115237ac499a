#!/usr/bin/env bash
# A whole session of the desktop player on a real (virtual) X display: it
# starts on a small library, plays, skips on the S key, opens the media filler
# beside itself, and quits through the window's close with its settings and
# the State's list saved; started again with "Auto Play" set, it plays
# without the switch.
# usage: plinka_session.sh PLINKA PLINKACTL   (run under xvfb-run)
set -euo pipefail
plinka="$1"
plinkactl="$2"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
pid=""

fail() {
  echo "FAIL: $*" >&2
  echo "--- player log:" >&2
  cat "$work/log" >&2 || true
  exit 1
}

# Twenty-four short songs by as many artists (a list needs twenty songs, and
# keeps an artist from coming twice), imported into a fresh data folder.
mkdir -p "$work/library" "$work/data" "$work/run"
chmod 700 "$work/run"
python3 - "$work/library" <<'PY'
import array, math, os, sys, wave
for n in range(24):
    folder = os.path.join(sys.argv[1], "Artist %d" % (n + 1), "Album")
    os.makedirs(folder)
    samples = array.array("h", (int(8000 * math.sin(i * (0.05 + n * 0.005))) for i in range(8000 * 20)))
    with wave.open(os.path.join(folder, "01 Song %d.wav" % (n + 1)), "wb") as w:
        w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
        w.writeframes(samples.tobytes())
PY
"$plinkactl" --data "$work/data" import "$work/library" >/dev/null 2>&1 || fail "import"

export PLINKA_DATA="$work/data" PLINKA_SILENT=1 PLINKA_LOG=1 XDG_RUNTIME_DIR="$work/run"
"$plinka" /s >"$work/log" 2>&1 &
pid=$!

wait_for() {  # wait_for SECONDS PATTERN
  local until=$((SECONDS + $1))
  while [ $SECONDS -lt $until ]; do
    grep -q "$2" "$work/log" && return 0
    kill -0 "$pid" 2>/dev/null || fail "the player ended early"
    sleep 0.2
  done
  fail "no '$2' in the log after $1 s"
}

python3 "$here/x_driver.py" wait Plinka 30 || fail "no window"
wait_for 30 "^playing: "
first="$(grep -m1 "^playing: " "$work/log")"
python3 "$here/x_driver.py" key Plinka s
until=$((SECONDS + 20))
while [ "$(grep -c "^playing: " "$work/log")" -lt 2 ]; do
  [ $SECONDS -lt $until ] || fail "the S key did not skip"
  sleep 0.2
done
second="$(grep "^playing: " "$work/log" | sed -n 2p)"
[ "$first" != "$second" ] || fail "skipped to the same song"

# The media filler runs as a second program beside the player on the same
# data folder; closing it keeps its own settings and leaves the player be.
"$plinka" f >"$work/filler.log" 2>&1 &
filler=$!
python3 "$here/x_driver.py" wait "Plinka Media Filler" 30 || fail "no filler window"
kill -0 "$pid" 2>/dev/null || fail "the player ended when the filler started"
python3 "$here/x_driver.py" close "Plinka Media Filler"
wait "$filler" || fail "the filler ended with an error"
[ "$(stat -c %s "$work/data/dPkFill.dat")" = 1008 ] || fail "the filler's settings not saved"
kill -0 "$pid" 2>/dev/null || fail "the player ended with the filler"

python3 "$here/x_driver.py" close Plinka
until=$((SECONDS + 30))
while kill -0 "$pid" 2>/dev/null; do
  [ $SECONDS -lt $until ] || fail "the window's close did not end the player"
  sleep 0.2
done
wait "$pid" || fail "the player ended with an error"
pid=""

[ -s "$work/data/dPlinka.dat" ] || fail "settings not saved"
[ -s "$work/data/PL1.m3u" ] || fail "the State's list not saved"
grep -q "Song" "$work/data/PL1.m3u" || fail "the saved list holds no songs"
# A logout or a system shutdown ends the program by a signal: the settings
# are saved at once, without the orderly end, with the window's place and
# the list's column widths (blanked here to see them written again).
settings_field() {  # settings_field OFFSET LENGTH [blank]: the bytes after the 8-byte magic
  python3 - "$work/data/dPlinka.dat" "$@" <<'PY'
import sys
path, offset, length = sys.argv[1], 8 + int(sys.argv[2]), int(sys.argv[3])
data = bytearray(open(path, "rb").read())
if len(sys.argv) > 4:
    data[offset:offset + length] = bytes(length)
    open(path, "wb").write(data)
print(data[offset:offset + length].hex())
PY
}
placement="4298 44"
widths="732 20"
settings_field $placement blank >/dev/null
settings_field $widths blank >/dev/null
# "Auto Play" set in the settings plays from launch without the switch.
auto_play=660
python3 - "$work/data/dPlinka.dat" $((8 + auto_play)) <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[int(sys.argv[2]):int(sys.argv[2]) + 4] = (1).to_bytes(4, "little")
open(sys.argv[1], "wb").write(data)
PY
sleep 1.1
touch "$work/before-signal"
"$plinka" >"$work/log" 2>&1 &
pid=$!
python3 "$here/x_driver.py" wait Plinka 30 || fail "no window on the second start"
wait_for 30 "^playing: "
kill -TERM "$pid"
until=$((SECONDS + 30))
while kill -0 "$pid" 2>/dev/null; do
  [ $SECONDS -lt $until ] || fail "SIGTERM did not end the player"
  sleep 0.2
done
wait "$pid" || true
pid=""
[ "$work/data/dPlinka.dat" -nt "$work/before-signal" ] || fail "settings not saved at SIGTERM"
[ "$(settings_field $placement)" != "$(printf '0%.0s' {1..88})" ] || fail "window place not saved at SIGTERM"
[ "$(settings_field $widths)" != "$(printf '0%.0s' {1..40})" ] || fail "column widths not saved at SIGTERM"

echo "desktop session: started, played '$first', skipped to '$second', closed and saved; played at launch with Auto Play; saved again at SIGTERM"
