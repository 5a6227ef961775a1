#!/usr/bin/env bash
# scripts/parallel-batch on this machine with local workers only (":" as the
# login): a folder and a file spread over two job slots, a failing input that
# fails only its own job, the outputs checked with ffprobe, then --resume
# running only the failed job again once its input is fixed; then outputs
# that a program reports as converted but that fail the check.
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
# A program that says it converted but wrote a bad file: each output is
# checked before it takes its final name, a failure is a failed job, and a
# file already at the final name stays as it was. Options after -- go to GNU
# parallel (--tag: each line begins with its input).
fake="$work/fake"
mkdir -p "$fake/Profiles" "$work/bad" "$work/badout"
cp "$program/Profiles/MP4 H.264 AAC.apf" "$fake/Profiles/"
ln -s "$(command -v ffmpeg)" "$fake/wmaspi.dll"
cat > "$fake/vantorix" <<'EOF'
#!/usr/bin/env bash
while [ "$1" != -o ]; do shift; done
out="$2/$(basename "${!#}" .avi).mp4"
case "$out" in
    *short.mp4) ffmpeg -loglevel error -f lavfi -i testsrc=duration=1 -f lavfi -i sine=duration=1 -y "$out" ;;
    *silent.mp4) ffmpeg -loglevel error -f lavfi -i testsrc=duration=3 -y "$out" ;;
    *cut.mp4) ffmpeg -loglevel error -f lavfi -i testsrc=duration=3 -f lavfi -i sine=duration=3 -f mp4 \
                  -movflags frag_keyframe - | head -c 3000 > "$out" ;;
esac
EOF
chmod +x "$fake/vantorix"
for name in short silent cut; do clip "$work/bad/$name.avi" 3; done
echo "the user's own file" > "$work/badout/cut.mp4"
status=0
"$script" -S "$work/logins" -p "MP4 H.264 AAC" -o "$work/badout" --program "$fake" \
    --joblog "$work/bad.log" "$work/bad" -- --tag > "$work/run.log" 2>&1 || status=$?
[ "$status" -eq 3 ] || fail "three bad outputs should give status 3, got $status"
for line in "short.avi (:): the output lasts 1.0 s instead of 3.0 s" \
            "silent.avi (:): the output has no audio stream" "cut.avi (:): the output cannot be read"; do
    grep -qF "Failed  $work/bad/$line" "$work/run.log" || fail "no line: Failed  $line"
done
awk -F'\t' -v f="$work/bad/cut.avi" '$1 == f && $2 ~ /^Failed/ { found = 1 } END { exit !found }' "$work/run.log" \
    || fail "the options after -- did not reach GNU parallel (--tag)"
[ "$(cat "$work/badout/cut.mp4")" = "the user's own file" ] || fail "a bad output replaced an existing file"
[ "$(ls -A "$work/badout")" = cut.mp4 ] || fail "bad outputs were left in the output folder"
[ "$(awk 'NR > 1 && $7 != 0' "$work/bad.log" | wc -l)" -eq 3 ] || fail "the job log should list 3 failed jobs"
echo "parallel-batch: OK"
