#!/usr/bin/env bash
# scripts/parallel-batch on this machine with local workers only (":" as the
# login): a folder and a file spread over two job slots, a failing input that
# fails only its own job, the outputs checked with ffprobe, then --resume
# running only the failed job again once its input is fixed.
# Usage: parallel_batch_test.sh SCRIPT PROGRAM_FOLDER
set -euo pipefail
script="$1"
program="$2"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; cat "$work/run.log" >&2 2>/dev/null || true; exit 1; }
export HOME="$work/home" # parallel keeps its own files there
mkdir -p "$HOME" "$work/in" "$work/more" "$work/out"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

clip() { ffmpeg -loglevel error -f lavfi -i "testsrc=duration=$2:size=320x240:rate=25" \
             -f lavfi -i "sine=duration=$2" -shortest -c:v mpeg4 -c:a mp2 -y "$1"; }
clip "$work/in/one.avi" 2
clip "$work/in/two words.MOV" 2
echo "not a video" > "$work/in/broken.avi"
echo "ignored: not a supported type" > "$work/in/notes.txt"
clip "$work/more/three.avi" 1
printf '2/:\n' > "$work/logins"

run() {
    "$script" -S "$work/logins" -p "MP4 H.264 AAC" -o "$work/out" --program "$program" \
        --joblog "$work/jobs.log" --set "Video Size=160x120" "$@" "$work/in" "$work/more/three.avi" \
        > "$work/run.log" 2>&1
}

status=0
run || status=$?
[ "$status" -eq 1 ] || fail "one failed job should give status 1, got $status"
for name in one "two words" three; do
    out="$work/out/$name.mp4"
    [ -s "$out" ] || fail "$out is missing"
    size="$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$out")"
    [ "$size" = "160,120" ] || fail "$out is $size, not 160,120"
done
[ ! -e "$work/out/broken.mp4" ] || [ ! -s "$work/out/broken.mp4" ] || fail "broken.mp4 should not be converted"
[ ! -e "$work/out/notes.mp4" ] || fail "a .txt file of a folder was converted"
grep -q "Failed  $work/in/broken.avi" "$work/run.log" || fail "no Failed line for broken.avi"
[ -f "$work/in/one.avi" ] || fail "an input was removed"
[ "$(tail -n +2 "$work/jobs.log" | wc -l)" -eq 4 ] || fail "the job log should list 4 jobs"

# Resume: only the failed job runs again.
clip "$work/in/broken.avi" 1
status=0
run --resume || status=$?
[ "$status" -eq 0 ] || fail "the resumed run gave status $status"
[ -s "$work/out/broken.mp4" ] || fail "the resumed job wrote nothing"
[ "$(tail -n +2 "$work/jobs.log" | wc -l)" -eq 5 ] || fail "the resumed run should add exactly one job"
[ "$(grep -c "^Complete " "$work/run.log")" -eq 1 ] || fail "the resumed run ran more than the failed job"
echo "parallel-batch: OK"
