#!/usr/bin/env bash
# End to end in a real window under Xvfb: a fresh program folder, a generated
# clip on the command line, a click on the Start picture, a converted file
# checked with ffprobe; then the window at 1000 x 600, where "&Setting" opens
# the Settings window, and refused below its minimum size; the window closed,
# Preferences.ini checked. The two sizes are photographed (to /tmp unless
# named).
# Usage: window_e2e.sh PROGRAM_FOLDER CLOSEWINDOW_TOOL [SCREENSHOT.png]
#   [WIDE_SCREENSHOT.png] [MINIMUM_SCREENSHOT.png]
set -euo pipefail
bin="$1"
closewindow="$2"
screenshot="${3:-}"
shot_wide="${4:-/tmp/vantorix-window-1000x600.png}"
shot_minimum="${5:-/tmp/vantorix-window-minimum.png}"

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
on_failure() {
    if [ -n "${VANTORIX_E2E_SHOTS:-}" ] && [ -n "${DISPLAY:-}" ]; then
        import -window root "$VANTORIX_E2E_SHOTS/failure.png" 2>/dev/null || true
        cp "$work/app.log" "$VANTORIX_E2E_SHOTS/app.log" 2>/dev/null || true
    fi
}

# A picture of one window once it has drawn its new size, when a file is named.
shot() {
    [ -n "$1" ] || return 0
    sleep 1
    import -window "$2" "$1" 2>/dev/null || true
}

# A fresh program folder, with the help page when one was built.
make_program_folder "$bin"
[ -f "$bin/Vantorix.html" ] && cp "$bin/Vantorix.html" "$prog/"

clip="$work/clips/clip.avi"
ffmpeg -loglevel error -f lavfi -i testsrc=duration=3:size=320x240:rate=25 \
    -f lavfi -i sine=duration=3 -shortest "$clip"

# The desktop's opener, recorded instead of run.
cat > "$work/shell/xdg-open" <<SH
#!/bin/sh
echo "\$@" >> "$work/opened.txt"
SH
chmod +x "$work/shell/xdg-open"

start_display

(cd "$work" && exec "$prog/vantorix" "$clip") > "$work/app.log" 2>&1 &
app_pid=$!

wid="$(timeout 60 xdotool search --sync --onlyvisible --name '^Vantorix V3\.0$' | head -n1)" \
    || fail "the main window did not appear"
caption="$(xdotool getwindowname "$wid")"
[ "$caption" = "Vantorix V3.0" ] || fail "caption is '$caption'"

# Wait until the clip is listed (the probe runs beside the window).
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"
# The Start picture: 188 x 58 at (592, 8) in the bottom strip, which is the
# last 77 pixels of the 790 x 505 client area.
start_x=$((X + 592 + 94))
start_y=$((Y + 505 - 77 + 8 + 29))
# A double-click, as many users click: the second press lands on the Stop
# picture that has just replaced Start, and must not stop the batch.
xdotool mousemove --sync "$start_x" "$start_y" click --repeat 2 --delay 80 1

done_box="$(timeout 120 xdotool search --sync --onlyvisible --name '^Complete$' | head -n1)" \
    || fail "the batch did not complete (a double-click on Start stopped it?)"
xdotool search --onlyvisible --name '^Cancel$' >/dev/null 2>&1 && fail "a double-click on Start cancelled the batch"
[ -n "$screenshot" ] && import -window root "$screenshot" 2>/dev/null || true

output="$(ls "$prog"/clip.* 2>/dev/null | head -n1)"
[ -n "$output" ] || fail "no converted file in $prog"
streams="$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$output" | sort -u | tr '\n' ' ')"
[[ "$streams" == *video* ]] || fail "the output has no video stream: $streams"
duration="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$output")"
awk -v d="$duration" 'BEGIN { exit !(d > 2.5 && d < 3.5) }' || fail "output lasts $duration s"

xdotool windowfocus --sync "$done_box" key Return
for _ in $(seq 50); do [ -s "$work/opened.txt" ] && break; sleep 0.1; done
grep -q "$prog" "$work/opened.txt" 2>/dev/null || fail "the output folder was not opened"

# A right-click on Clear is no click: the list keeps its row, so Start
# converts it again. Clear is the fourth toolbar picture, 54 x 54 at
# (198, 10) in the 75-pixel toolbar under the 338-pixel list, which starts
# 15 pixels down the client area.
xdotool mousemove --sync $((X + 198 + 27)) $((Y + 15 + 338 + 10 + 27)) click 3
xdotool mousemove --sync "$start_x" "$start_y" click 1
done_box="$(timeout 120 xdotool search --sync --onlyvisible --name '^Complete$' | head -n1)" \
    || fail "nothing was converted after a right-click on Clear: the list was emptied"
xdotool windowfocus --sync "$done_box" key Return
for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^Complete$' >/dev/null 2>&1 || break
    sleep 0.1
done

# A wider window: the Start picture keeps its distance from the right edge
# and leaves "&Setting" free to click.
xdotool windowsize --sync "$wid" 1000 600
eval "$(xdotool getwindowgeometry --shell "$wid")"
[ "$WIDTH" = 1000 ] && [ "$HEIGHT" = 600 ] || fail "the window is ${WIDTH}x${HEIGHT}, not 1000x600"
shot "$shot_wide" "$wid"
# "&Setting" is 75 x 25 at (task area width - 90, 8) in the bottom strip; the
# task area is the client width less the 200-pixel right pane and the
# 10-pixel splitter bar.
setting_x=$((X + 1000 - 210 - 90 + 37))
setting_y=$((Y + 600 - 77 + 8 + 12))
xdotool mousemove --sync "$setting_x" "$setting_y" click 1
settings="$(timeout 30 xdotool search --sync --onlyvisible --name '^Settings$' | head -n1)" \
    || fail "a click on &Setting at a width of 1000 did not open the Settings window"
"$closewindow" "$settings"
for _ in $(seq 100); do
    xdotool search --onlyvisible --name '^Settings$' >/dev/null 2>&1 || break
    sleep 0.1
done
xdotool search --onlyvisible --name '^Settings$' >/dev/null 2>&1 && fail "the Settings window did not close"

# Smaller than the design size is refused: the window comes back to it.
xdotool windowsize "$wid" 500 300
for _ in $(seq 100); do
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    [ "$WIDTH" = 790 ] && [ "$HEIGHT" = 505 ] && break
    sleep 0.1
done
[ "$WIDTH" = 790 ] && [ "$HEIGHT" = 505 ] || fail "the window stayed at ${WIDTH}x${HEIGHT}, below 790x505"
shot "$shot_minimum" "$wid"

"$closewindow" "$wid"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end when its window closed"
wait "$app_pid" || fail "the program ended with status $?"
app_pid=""

prefs="$prog/Preferences.ini"
[ -f "$prefs" ] || fail "no Preferences.ini"
grep -qx 'Profile=0' <(tr -d '\r' < "$prefs") || fail "Preferences.ini lacks Profile=0"
grep -qx "Output Path=$prog/" <(tr -d '\r' < "$prefs") || fail "Preferences.ini lacks the output path"
grep -qx 'Overwrite=1' <(tr -d '\r' < "$prefs") || fail "Preferences.ini lacks Overwrite=1"
echo "PASS: converted $(basename "$output") in the window"
