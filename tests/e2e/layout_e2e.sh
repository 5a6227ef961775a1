#!/usr/bin/env bash
# The main window's layout under a real X server, at the sizes a user and a
# tiling window manager give it: 790x505, 1000x600, 1280x1024, a request for
# 100x100 (refused: the window comes back to its design size) and 790x505
# again, while a batch runs so that the progress panel shows. At each size the
# window says where everything went (VANTORIX_LAYOUT_PROBE), and the task
# list's Size and Status columns lie inside the list, each percent label holds
# "100%", and the preview's time box keeps the right margin of the pictures.
# Each size is photographed into SHOTS_FOLDER when one is named.
# Usage: layout_e2e.sh PROGRAM_FOLDER [SHOTS_FOLDER]
set -euo pipefail
bin="$1"
shots="${2:-}"

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
probe="$work/layout.json"
on_failure() {
    [ -f "$probe" ] && jq -c '.window, .widgets.ltvTask, .widgets.labPreviewTime' "$probe" >&2 || true
    if [ -n "$shots" ] && [ -n "${DISPLAY:-}" ]; then
        import -window root "$shots/failure.png" 2>/dev/null || true
    fi
}

make_program_folder "$bin"
# An engine that converts nothing and takes its time, so that the batch is
# still running at every size; anything else goes to the real engine.
real_engine="$(readlink -f "$bin/wmaspi.dll")"
rm "$prog/wmaspi.dll"
cat > "$prog/wmaspi.dll" <<SH
#!/bin/sh
for a in "\$@"; do [ "\$a" = -y ] && exec sleep 300; done
exec "$real_engine" "\$@"
SH
chmod +x "$prog/wmaspi.dll"

clips=()
for name in first-clip-with-a-rather-long-name second third; do
    clips+=("$work/clips/$name.avi")
    ffmpeg -loglevel error -f lavfi -i testsrc=duration=3:size=320x240:rate=25 "$work/clips/$name.avi"
done

start_display -noreset
export VANTORIX_LAYOUT_PROBE="$probe"
(cd "$work" && exec "$prog/vantorix" "${clips[@]}") > "$work/app.log" 2>&1 &
app_pid=$!

wid="$(timeout 60 xdotool search --sync --onlyvisible --name '^Vantorix V3\.0$' | head -n1)" \
    || fail "the main window did not appear"
# At the screen's corner, so that the largest size is photographed whole.
xdotool windowmove --sync "$wid" 0 0

# The probe's figure for a jq expression.
probed() { jq -r "$1" "$probe"; }
# Until the window has settled at WIDTHxHEIGHT and says so.
settled_at() {
    [ -s "$probe" ] && [ "$(jq -c .window "$probe" 2>/dev/null)" = "[$1,$2]" ]
}

wait_until 300 settled_at 790 505 || fail "the window did not report its design size"
wait_until 300 test "$(probed '.widgets.ltvTask.rect[3] > 0 and ([.widgets | keys[]] | length) > 0')" = true \
    || fail "no task list in the probe"
# The rows are listed; Start (the picture 188 x 58 at (592, 8) in the bottom
# 77 pixels of the 790 x 505 client area) begins the batch.
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"
xdotool mousemove --sync $((X + 592 + 94)) $((Y + 505 - 77 + 8 + 29)) click 1
sleep 1

check_size() {
    local want_w="$1" want_h="$2" name="$3"
    wait_until 300 settled_at "$want_w" "$want_h" \
        || fail "$name: the window reports $(jq -c .window "$probe" 2>/dev/null), not ${want_w}x${want_h}"
    # The probe is written once the window is still; the picture after it.
    sleep 0.5
    [ -n "$shots" ] && import -window root "$shots/$name.png" 2>/dev/null || true

    local problems
    problems="$(jq -r --argjson w "$want_w" --argjson h "$want_h" '
        .widgets as $g
        | ($g.ltvTask.viewport) as $v
        | [ ($g.ltvTask.columns[] | select(.title == "Size" or .title == "Status")
              | select(.x < $v[0] or .x + .width > $v[0] + $v[2])
              | "the \(.title) column (\(.x)+\(.width)) leaves the list (\($v[0])+\($v[2]))"),
            ("labCurProgress", "labTotalProgress" | . as $n | $g[$n]
              | select(.rect[2] < .hundredWidth or .rect[0] + .rect[2] > $w)
              | "\($n) is \(.rect[2]) wide at \(.rect[0]); 100% needs \(.hundredWidth)"),
            ("imgPreviewTime", "labPreviewTime" | . as $n | $g[$n].rect
              | select(.[0] < 0 or .[1] < 0 or .[0] + .[2] > $w - 10 or .[1] + .[3] > $h)
              | "\($n) at \(.) is not inside the window 10 pixels from its right edge")
          ] | .[]' "$probe")"
    [ -z "$problems" ] || fail "$name: $problems"
    echo "ok: $name"
}

resize_to() {
    xdotool windowsize "$wid" "$1" "$2"
}

# The probe writes at a new size: one step wider and back shows the running batch.
resize_to 800 505
wait_until 300 settled_at 800 505 || fail "the window did not take 800x505"
resize_to 790 505
check_size 790 505 790x505
[ "$(probed '.widgets.labTotalProgress != null')" = true ] || fail "the batch did not start (no progress panel)"
resize_to 1000 600
check_size 1000 600 1000x600
resize_to 1280 1024
check_size 1280 1024 1280x1024
resize_to 100 100
check_size 790 505 after-100x100
resize_to 790 505
# Already that size: a change of width and back makes sure the probe is new.
resize_to 800 505
check_size 800 505 800x505
resize_to 790 505
check_size 790 505 790x505-again

# A signal ends the program as a close does: the batch stops, its engine goes.
kill -TERM "$app_pid"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end"
app_pid=""
echo "PASS: the window's layout holds at every size"
