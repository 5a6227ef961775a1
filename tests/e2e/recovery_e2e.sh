#!/usr/bin/env bash
# End to end under Xvfb: a real window converting two clips is killed with
# SIGKILL while its second clip converts. The next start asks "Restore Task
# List"; Enter (Yes) brings the rows back, the unfinished output of the
# killed conversion is gone, and Start converts both clips (checked with
# ffprobe). A normal close then leaves no task list behind.
# Usage: recovery_e2e.sh PROGRAM_FOLDER CLOSEWINDOW_TOOL [BOX_SCREENSHOT.png]
set -euo pipefail
bin="$1"
closewindow="$2"
box_shot="${3:-}"

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
on_failure() { cat "$work/app.log" >&2 2>/dev/null || true; }

make_program_folder "$bin"

# A short clip, then one long enough to be caught converting.
ffmpeg -loglevel error -f lavfi -i testsrc=duration=2:size=320x240:rate=25 \
    -f lavfi -i sine=duration=2 -shortest "$work/clips/a.avi"
ffmpeg -loglevel error -f lavfi -i testsrc=duration=60:size=640x480:rate=25 \
    -f lavfi -i sine=duration=60 -shortest -c:v mpeg4 -q:v 10 "$work/clips/b.avi"

# The desktop's opener does nothing here.
printf '#!/bin/sh\nexit 0\n' > "$work/shell/xdg-open"
chmod +x "$work/shell/xdg-open"

start_display -noreset
lists="$XDG_DATA_HOME/Vantorix"

# What the kept task list says: "input status temporary" for each row. The
# file holds the list on its first line, then a line for each row changed or
# added since ("at" its place); a last line without its end is left out.
cat > "$work/rows.py" <<'PY'
import glob, json, sys
for path in glob.glob(sys.argv[1] + "/TaskList-*.json"):
    try:
        lines = open(path).read().split("\n")
        tasks = json.loads(lines[0])["tasks"]
        for line in lines[1:-1]:
            change = json.loads(line)
            if "row" in change:
                if change["at"] < len(tasks):
                    tasks[change["at"]] = change["row"]
                else:
                    tasks.append(change["row"])
    except Exception:
        continue
    for task in tasks:
        print(task["input"].rsplit("/", 1)[-1], task["fields"][2] or "-", task.get("temporary", "-"))
PY
rows() { python3 "$work/rows.py" "$lists"; }
# Until the kept rows read as given (one line each, joined with "; ").
rows_are() { [ "$(rows | paste -sd ';' | sed 's/;/; /g')" = "$1" ]; }

start_picture() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove --sync $((X + 592 + 94)) $((Y + 505 - 77 + 8 + 29)) click 1
}

(cd "$work" && exec "$prog/vantorix" "$work/clips/a.avi" "$work/clips/b.avi") > "$work/app.log" 2>&1 &
app_pid=$!
wid="$(timeout 60 xdotool search --sync --onlyvisible --name '^Vantorix V' | head -n1)" \
    || fail "the main window did not appear"
wait_until 300 rows_are "a.avi OK -; b.avi OK -" || fail "the kept list does not hold both clips: $(rows)"
[ "$(ls "$lists"/TaskList-*.json | wc -l)" = 1 ] || fail "more than one list kept: $(ls "$lists")"

start_picture "$wid"
# Caught while b.avi converts: where its unfinished output is (the run's work
# folder) exists and is named in the list.
partial=""
for _ in $(seq 600); do
    line="$(rows | grep '^b.avi Converting ' || true)"
    if [ -n "$line" ]; then
        candidate="${line##* }"
        if [ "$candidate" != "-" ] && [ -e "$candidate" ]; then
            partial="$candidate"
            break
        fi
    fi
    sleep 0.1
done
[ -n "$partial" ] || fail "b.avi was never seen converting: $(rows)"
kill -9 "$app_pid"
wait "$app_pid" 2>/dev/null || true # "Killed"
app_pid=""
[ -e "$partial" ] || fail "the killed conversion left no unfinished output to clean up"
[[ "$(rows)" == *"a.avi Complete "* ]] || fail "a.avi was not complete before the kill: $(rows)"
rm -f "$prog"/a.* "$prog"/b.*

# The next start asks before its window appears.
(cd "$work" && exec "$prog/vantorix") > "$work/app.log" 2>&1 &
app_pid=$!
box="$(timeout 60 xdotool search --sync --onlyvisible --name '^Restore Task List$' | head -n1)" \
    || fail "the Restore Task List box did not appear"
if [ -n "$box_shot" ]; then
    sleep 0.5
    import -window root "$box_shot" 2>/dev/null || true
fi
xdotool windowfocus --sync "$box" key Return
xdotool keyup Return
wid="$(timeout 60 xdotool search --sync --onlyvisible --name '^Vantorix V' | head -n1)" \
    || fail "the main window did not appear after the box"
wait_until 50 bash -c '! test -e "$0"' "$partial" || fail "the unfinished output $partial is still there"
# The rows are back, a.avi still complete and b.avi waiting again ("OK").
wait_until 100 rows_are "a.avi Complete -; b.avi OK -" || fail "the restored list is not the one left: $(rows)"

start_picture "$wid"
done_box="$(timeout 240 xdotool search --sync --onlyvisible --name '^Complete$' | head -n1)" \
    || fail "the restored batch did not complete"
for name in a b; do
    output="$(ls "$prog/$name".* 2>/dev/null | head -n1)"
    [ -n "$output" ] || fail "no converted $name in $prog"
    duration="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$output")"
    expected=$([ "$name" = a ] && echo 2 || echo 60)
    awk -v d="$duration" -v e="$expected" 'BEGIN { exit !(d > e - 0.6 && d < e + 0.6) }' \
        || fail "$output lasts $duration s, not $expected"
    streams="$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$output")"
    [[ "$streams" == *video* ]] || fail "$output has no video stream: $streams"
done
[[ "$(ls -A "$prog")" == *vantorix-part* || "$(ls -A "$prog")" == *vantorix-work* ]] \
    && fail "an unfinished output is left in $prog"
xdotool windowfocus --sync "$done_box" key Return
xdotool keyup Return
wait_until 100 bash -c '! xdotool search --onlyvisible --name "^Complete$" >/dev/null 2>&1' || true

"$closewindow" "$wid"
wait_until 100 bash -c '! kill -0 "$0" 2>/dev/null' "$app_pid" || fail "the program did not end when its window closed"
wait "$app_pid" || fail "the program ended with status $?"
app_pid=""
ls "$lists"/TaskList-* >/dev/null 2>&1 && fail "a normal close left its task list: $(ls "$lists")"
echo "PASS: the killed window's list was restored and converted"
