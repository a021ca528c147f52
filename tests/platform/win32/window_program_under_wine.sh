#!/usr/bin/env bash
# velmora-upgrade.exe as a store runs it, under Wine on the test display: copied into a prepared
# program folder, its window found, read and driven from outside with the X tools a user's
# desktop would use.
#   window_program_under_wine.sh BIN_DIR WINE_PREFIX   (with DISPLAY set; see with_display.sh)
# Exit status 0 when every check holds, 77 when it cannot run here (no display, no Wine).
set -uo pipefail
bin=$1
export WINEPREFIX=$2 WINEDEBUG=-all
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
title='Velmora - Podizanje više verzije - v3.0'

[ -n "${DISPLAY:-}" ] || { echo "SKIP: no display (run under xvfb-run)"; exit 77; }
for tool in wine xdotool xprop; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done

failures=0
check() {  # check LABEL COMMAND...: one check, reported
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

# Keyboard focus is one per display: the window tests take the display in turn.
exec 9>"/tmp/velmora-display-$DISPLAY.lock"
flock 9

scratch=$(mktemp -d /tmp/velmora-wine-window.XXXXXX)
folder=$scratch/Tarvik
pid=
cleanup() {
  # wine-run takes the program with it when it is told to end.
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
"$root/scripts/prepare-demo-folder" "$folder" "$bin" >/dev/null || exit 1
# "&Dobro" must never reach the maker's server from a test: a closed local port instead.
export VELMORA_UPDATE_SERVER=127.0.0.1:1

log_has() {  # log_has TEXT [SECONDS]: waits until the run log holds TEXT
  local until=$((SECONDS + ${2:-10}))
  while ! grep -qF -- "$1" "$folder/Tarvik_Upg.log" 2>/dev/null; do
    [ $SECONDS -ge $until ] && return 1
    sleep 0.05
  done
}
wait_exit() {  # wait_exit SECONDS: sets status to the program's exit status, or "running"
  local until=$((SECONDS + $1))
  status=running
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -ge $until ] && return
    sleep 0.05
  done
  wait "$pid"
  status=$?
  pid=
}
start() {
  # The exit status as Windows reports it (tests/windows/wine_process.py says why).
  "$root/tests/windows/wine-run" "$folder/velmora-upgrade.exe" &
  pid=$!
  # A fresh Wine prefix is made on the first start: that takes a while.
  window=$(timeout 120 xdotool search --sync --onlyvisible --name "^${title//./\\.}\$" | head -n 1)
  [ -n "$window" ] || { echo "FAILED: the window did not appear"; exit 1; }
}
press_alt_o() { xdotool windowfocus --sync "$window" key alt+o; }

# The window: its exact title, and the design's client area at the display's 96 dpi.
start
check "the exact title" test "$(xdotool getwindowname "$window")" = "$title"
check "the title for the window manager" \
  test "$(xprop -id "$window" _NET_WM_NAME)" = "_NET_WM_NAME(UTF8_STRING) = \"$title\""
check "414 x 259 pixels" grep -q "Geometry: 414x259" <(xdotool getwindowgeometry "$window")
check "the window loaded" log_has 'settings name "Tarvik"'

# A window manager's close request (the close box, Alt+F4) is refused and logged.
/usr/bin/python3 "$root/tests/support/wm_close_window.py" "$window"
check "a close request is logged as refused" log_has $'\tclose\trefused a request to close the window'
wait_exit 1
check "the window stays after a close request" test "$status" = running

# Alt+O closes it and ends the program with status 0.
press_alt_o
wait_exit 20
check "Alt+O ends the program with status 0" test "$status" = 0
check "closed by the user" log_has $'\tclose\tclosed by the user' 1
check "the run log ends with status 0" log_has $'\tend\texit status 0' 1

# "&Dobro" with the update server unreachable: the online phase's boxes carry no title of their
# own and so show the application's; answered with Enter, the window is idle again.
start
xdotool windowfocus --sync "$window" key alt+d
answered=0
quiet_since=$SECONDS
until=$((SECONDS + 60))
# Every box is answered; the phase is over once no box has come for two seconds.
while [ $SECONDS -lt $until ] && kill -0 "$pid" 2>/dev/null; do
  box=$(xdotool search --onlyvisible --name '^Tarvik_Upg$' 2>/dev/null | head -n 1)
  if [ -n "$box" ]; then
    xdotool windowfocus --sync "$box" key Return 2>/dev/null
    answered=$((answered + 1))
    quiet_since=$SECONDS
  elif [ $answered -gt 0 ] && [ $((SECONDS - quiet_since)) -ge 2 ]; then
    break
  fi
  sleep 0.1
done
check "the online phase's boxes show the application's title" test $answered -gt 0
press_alt_o
wait_exit 20
check "after the failed phase Alt+O still ends the program with status 0" test "$status" = 0

[ $failures -eq 0 ] || { echo "$failures check(s) failed"; cat "$folder/Tarvik_Upg.log" 2>/dev/null; exit 1; }
echo "all checks passed"
