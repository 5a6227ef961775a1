#!/usr/bin/env bash
# scripts/parallel-batch, the wrapper of vantorix --batch --hosts, on this
# machine (":" and a stand-in ssh): its options reach the program (-S, -p, -o,
# --set, --program, -j), a failing input fails only itself, --resume converts
# only the files without a checked output, --clean-workers empties the hosts'
# worker folders.
# Usage: parallel_batch_test.sh SCRIPT PROGRAM_FOLDER
set -euo pipefail
script="$1"
program="$2"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; cat "$work/run.log" >&2 2>/dev/null || true; exit 1; }
mkdir -p "$work/in" "$work/more" "$work/out" "$work/bin"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_CONFIG_HOME="$work/config" TMPDIR="$work"
# ssh to a host runs the command here, with a worker folder per host.
cat > "$work/bin/ssh" <<'SSH'
#!/bin/sh
while [ $# -gt 0 ]; do
    case "$1" in -O) exit 0 ;; -F|-o) shift 2 ;; -T) shift ;; --) shift; break ;; *) break ;; esac
done
host="$1"; shift
echo "$host" >> "$FAKE_SSH_ROOT/reached"
VANTORIX_FARM_CACHE="$FAKE_SSH_ROOT/$host" exec sh -c "$*"
SSH
chmod +x "$work/bin/ssh"
export PATH="$work/bin:$PATH" FAKE_SSH_ROOT="$work/hosts.d"
mkdir -p "$FAKE_SSH_ROOT"

clip() { ffmpeg -loglevel error -f lavfi -i "testsrc=duration=$2:size=320x240:rate=25" \
             -f lavfi -i "sine=duration=$2" -shortest -c:v mpeg4 -c:a mp2 -y "$1"; }
clip "$work/in/one.avi" 2
clip "$work/in/two words.MOV" 2
echo "not a video" > "$work/in/broken.avi"
echo "ignored: not a supported type" > "$work/in/notes.txt"
clip "$work/more/three.avi" 1
printf ':\n2/w1\n' > "$work/hosts"

run() {
    "$script" -S "$work/hosts" -p "MP4 H.264 AAC" -o "$work/out" --program "$program" -j 1 \
        --set "Video Size=160x120" "$@" "$work/in" "$work/more/three.avi" > "$work/run.log" 2>&1
}

status=0
run || status=$?
[ "$status" -eq 1 ] || fail "a failed file should give status 1, got $status"
for name in one "two words" three; do
    out="$work/out/$name.mp4"
    [ -s "$out" ] || fail "$out is missing"
    size="$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 "$out")"
    [ "$size" = "160,120" ] || fail "$out is $size, not 160,120"
done
[ ! -e "$work/out/broken.mp4" ] || fail "broken.mp4 should not be written"
[ ! -e "$work/out/notes.mp4" ] || fail "a .txt file of a folder was converted"
grep -q "Failed  $work/in/broken.avi" "$work/run.log" || fail "no Failed line for broken.avi"
[ "$(grep -c "Complete  " "$work/run.log")" -eq 3 ] || fail "three files should be Complete"
grep -qx w1 "$work/hosts.d/reached" || fail "the host w1 was never reached"

# Resume: once its input is fixed only the failed file converts; an output
# damaged meanwhile converts again, the good ones stay as they are.
clip "$work/in/broken.avi" 1
echo "damaged" > "$work/out/three.mp4"
touch -d '2001-01-01' "$work/out/one.mp4"
status=0
run --resume || status=$?
[ "$status" -eq 0 ] || fail "the resumed run gave status $status"
[ -s "$work/out/broken.mp4" ] || fail "the resumed run did not convert broken.avi"
ffprobe -v error "$work/out/three.mp4" || fail "the damaged three.mp4 was not converted again"
[ "$(grep -c "Complete  " "$work/run.log")" -eq 2 ] || fail "the resumed run should convert two files"
grep -q "2 converted before" "$work/run.log" || fail "the summary does not count the files converted before"
[ "$(date -r "$work/out/one.mp4" +%Y)" = 2001 ] || fail "a good output was written again"

# --clean-workers: every host but this machine loses its worker folder.
[ -d "$work/hosts.d/w1" ] || fail "w1 holds no worker folder"
"$script" -S "$work/hosts" --clean-workers > "$work/run.log" 2>&1 || fail "--clean-workers failed"
[ ! -e "$work/hosts.d/w1" ] || fail "--clean-workers left the worker folder of w1"
grep -qx "cleaned w1" "$work/run.log" || fail "--clean-workers does not name w1"
echo "parallel-batch: OK"
