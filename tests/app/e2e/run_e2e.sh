#!/usr/bin/env bash
# End-to-end test of the desktop program on the demo database, under a
# virtual X server: typing in two scripts, switching dictionaries with the
# keyboard, clipboard translation bringing the window back, a second start
# bringing the first forward, and closing emptying the clipboard.
# Usage: run_e2e.sh BUILD_DIR [SCREENSHOT_DIR]
set -euo pipefail
build="$(cd "$1" && pwd)"
for tool in Xvfb xdotool xclip xwininfo xdpyinfo setxkbmap openbox; do
  command -v "$tool" > /dev/null || { echo "e2e: skipped: $tool is not installed"; exit 77; }
done
shots="${2:-}"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "e2e: FAIL: $*" >&2; echo "--- program log:" >&2; cat "$work/log" >&2 || true; exit 1; }
pass() { echo "e2e: ok: $*"; passed=$((passed + 1)); }
passed=0

# The program and its data beside it, as installed.
app="$work/app"
mkdir -p "$app/System"
cp "$build/app/vorlano" "$app/"
cp -r "$build/app/Help" "$app/Help"
"$build/tests/build_demo_data" "$app" > "$work/build.txt"

# The X server, a window manager and the keyboard layouts.
for n in $(seq 90 99); do [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }; done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done
openbox > /dev/null 2>&1 &
pids+=($!)
setxkbmap -layout us,bg -variant ,phonetic || setxkbmap -layout us,bg
sleep 1

export QT_LOGGING_RULES="vorlano.lookup.debug=true"
"$app/vorlano" > "$work/log" 2>&1 &
vorlano=$!
pids+=($vorlano)

wait_log() {  # pattern, what[, how many lines must match]
  for _ in $(seq 100); do
    [ "$(grep -c -- "$1" "$work/log" || true)" -ge "${3:-1}" ] && return 0
    sleep 0.1
  done
  fail "$2 (no log line matching '$1')"
}
window=""
for _ in $(seq 100); do
  window="$(xdotool search --onlyvisible --name '^Речник$' 2>/dev/null | head -1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "the main window did not appear"
wait_log "show-entry Bg_Bg" "the first entry of the explanatory dictionary"
pass "started with the explanatory dictionary"

viewable() { xwininfo -id "$window" | grep -q "IsViewable"; }
shot() { [ -n "$shots" ] && sleep 0.5 && { import -window "$window" "$shots/$1.png" || true; }; return 0; }
activate() { xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window"; sleep 0.3; }

shot explanatory
# Switch to the English dictionary with the keyboard: Tab to the selector, two downs.
activate
xdotool key --delay 150 Tab Down Down
wait_log "switch 2 Bg_En En_Bg" "switching to English with the keyboard"
pass "switched dictionaries with the keyboard"
xdotool key --delay 150 shift+Tab
xdotool type --delay 120 "house"
wait_log "show-entry En_Bg .* house" "typing house"
pass "typed house and saw its entry"
shot english

# A Bulgarian word through the Bulgarian layout (second group).
xdotool key --delay 150 ctrl+a BackSpace
setxkbmap -layout bg,us -variant phonetic, || setxkbmap -layout bg,us
xdotool type --delay 150 "кон"
setxkbmap -layout us,bg
wait_log "show-entry Bg_En .* кон" "typing a Bulgarian word"
pass "typed a Bulgarian word and the direction followed"

# German, then the clipboard: the window is minimised, a copied word brings it back.
activate
xdotool key --delay 150 Tab Down
wait_log "switch 3 Bg_Gs Gs_Bg" "switching to German"
xdotool key --delay 150 shift+Tab
xdotool type --delay 120 "Haus"
wait_log "show-entry Gs_Bg .* [Hh]aus$" "typing Haus"
shot german
xdotool key --delay 150 Tab Up
wait_log "switch 2 Bg_En En_Bg" "back to English" 2
sleep 0.5
xdotool windowminimize --sync "$window" 2>/dev/null || xdotool windowminimize "$window"
for _ in $(seq 50); do viewable || break; sleep 0.1; done
viewable && fail "the window stayed visible after minimising"
printf 'water' | xclip -selection clipboard
wait_log "clipboard water" "the clipboard look-up"
wait_log "show-entry En_Bg .* water" "the entry of the copied word"
for _ in $(seq 50); do viewable && break; sleep 0.1; done
viewable || fail "the window did not come back after the clipboard look-up"
pass "copied word looked up and the window restored"

# A second start ends and brings the first forward.
xdotool windowminimize "$window"
sleep 0.5
timeout 10 "$app/vorlano" > "$work/second.log" 2>&1 || fail "the second instance did not end by itself"
for _ in $(seq 50); do viewable && break; sleep 0.1; done
viewable || fail "the first instance did not come forward on a second start"
kill -0 "$vorlano" || fail "the first instance ended"
pass "second start ended and brought the first forward"

# Closing with the close button empties the clipboard.
printf 'keep' | xclip -selection clipboard
sleep 0.5
activate
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 507)) $((Y + 9)) click 1
for _ in $(seq 50); do kill -0 "$vorlano" 2>/dev/null || break; sleep 0.1; done
kill -0 "$vorlano" 2>/dev/null && fail "the program did not end on close"
content="$(xclip -o -selection clipboard 2>/dev/null || true)"
[ -z "$content" ] || fail "the clipboard still holds '$content' after closing"
pass "closing ended the program and emptied the clipboard"

echo "$passed passed, 0 failed"
