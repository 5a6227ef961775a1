#!/usr/bin/env bash
# End to end, without a display: `vantorix --batch` and what it leaves in its
# output folder.
#
# links: four clips convert into a folder that another user can write to
#   (run as root, that user is nobody; otherwise the same user, who then stays
#   out of the run's own folder, as it could not enter another user's). All the
#   while a loop re-creates links to victim files at every free name it can
#   reach there (the outputs' names, the temporaries an earlier version wrote
#   beside them, the outputs' names inside every folder it can enter), and it
#   swaps a run's folder for a link to the victims' folder. Afterwards no victim was
#   written (contents, sizes, modification times, nothing new beside them) and
#   every output is a regular file that ffprobe reads at the clip's length.
# kill: a batch killed with SIGKILL while it converts, then a second batch
#   into the same folder: no engine outlives the first, and afterwards the
#   folder holds the second batch's output and nothing else.
#
# Usage: outputfolder_e2e.sh PROGRAM_FOLDER links|kill
set -euo pipefail
bin="$1"
mode="$2"

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
out="$work/out"
on_failure() {
    cat "$work/batch.log" >&2 2>/dev/null || true
    ls -laR "$out" >&2 2>/dev/null || true
}

make_program_folder "$bin"
mkdir -p "$out"
profile="MP4 H.264 AAC"

# Seconds of the first stream ffprobe finds in the file, or nothing.
length_of() {
    ffprobe -v error -show_entries format=duration -of default=noprint_wrappers=1:nokey=1 "$1" 2>/dev/null || true
}

if [ "$mode" = links ]; then
    victims="$work/victims"
    mkdir -p "$victims"
    for n in 0 1 2; do printf 'victim %s\n' "$n" > "$victims/$n"; done
    # Old enough that a write would show in the modification time.
    touch -d '2020-01-01 00:00:00' "$victims"/*
    snapshot() { (cd "$victims" && ls -A && stat -c '%n %s %Y %i' -- * && sha256sum -- *); }
    before="$(snapshot)"

    names=()
    for n in 1 2 3 4; do
        ffmpeg -loglevel error -f lavfi -i testsrc=duration=3:size=320x240:rate=25 \
            -f lavfi -i sine=duration=3 -shortest "$work/clips/clip$n.avi"
        names+=("clip$n.mp4")
    done

    if [ "$(id -u)" = 0 ]; then
        # The output folder is writable by all, without the sticky bit: the
        # other user can rename and remove what the batch places there.
        other=(setpriv --reuid=65534 --regid=65534 --clear-groups)
        descend=1
        chmod 0711 "$work"
        chmod 0777 "$out"
        chmod 0755 "$victims"
    else
        echo "not root: the link loop runs as this user and stays out of the run's folder" >&2
        other=()
        descend=0
    fi

    cat > "$work/links.sh" <<'SH'
#!/usr/bin/env bash
# links.sh OUT VICTIMS DESCEND NAME...: re-creates links until killed.
out="$1"; victims="$2"; descend="$3"; shift 3
n=0
# A link at $1 wherever nothing stands there: symlink(2) never replaces an
# entry, so a finished output is never swapped for a link by the loop itself.
plant() {
    ln -sn "$victims/$((n++ % 3))" "$1" 2>/dev/null || true
}
shopt -s nullglob dotglob
while true; do
    for name in "$@"; do
        plant "$out/$name"
        plant "$out/.${name%.*}.vantorix-part.${name##*.}"
    done
    for entry in "$out"/*; do
        if [ -L "$entry" ] || [ ! -d "$entry" ]; then
            continue
        fi
        case "${entry##*/}" in
        *.moved) ;;
        .vantorix-work-*)
            # Moved away, and a link to the victims' folder in its place.
            if [ ! -e "$entry.moved" ] && mv -T "$entry" "$entry.moved" 2>/dev/null; then
                ln -sn "$victims" "$entry" 2>/dev/null || true
                entry="$entry.moved"
            fi ;;
        esac
        if [ "$descend" = 1 ]; then
            for name in "$@"; do
                plant "$entry/$name"
                for inner in "$entry"/*/; do plant "$inner$name"; done
            done
        fi
    done
done
SH
    chmod 0755 "$work/links.sh"
    "${other[@]}" "$work/links.sh" "$out" "$victims" "$descend" "${names[@]}" &
    links_pid=$!
    stop_links() { kill "$links_pid" 2>/dev/null || true; wait "$links_pid" 2>/dev/null || true; }
    trap 'stop_links; cleanup' EXIT

    status=0
    (cd "$work" && exec "$prog/vantorix" --batch -p "$profile" -o "$out" --overwrite "$work/clips") \
        > "$work/batch.log" 2>&1 || status=$?
    stop_links
    [ "$status" = 0 ] || fail "the batch exited $status"

    after="$(snapshot)"
    [ "$before" = "$after" ] || fail "a victim was written: $(diff <(echo "$before") <(echo "$after"))"
    for name in "${names[@]}"; do
        [ -f "$out/$name" ] && [ ! -L "$out/$name" ] || fail "$name is not a regular file: $(ls -la "$out/$name" 2>&1)"
        length="$(length_of "$out/$name")"
        awk -v l="$length" 'BEGIN { exit !(l + 0 > 2.5 && l + 0 < 3.5) }' \
            || fail "$name lasts '$length' s instead of 3 s"
    done
    moved="$(find "$out" -mindepth 1 -maxdepth 1 -name '*.moved' | wc -l)"
    echo "PASS: no link written through, ${#names[@]} regular outputs ($moved run folders swapped for links)"
    exit 0
fi

[ "$mode" = kill ] || fail "unknown mode $mode"

ffmpeg -loglevel error -f lavfi -i testsrc=duration=60:size=640x480:rate=25 \
    -f lavfi -i sine=duration=60 -shortest -c:v mpeg4 -q:v 10 "$work/clips/long.avi"
mkdir -p "$work/short"
ffmpeg -loglevel error -f lavfi -i testsrc=duration=2:size=320x240:rate=25 \
    -f lavfi -i sine=duration=2 -shortest "$work/short/short.avi"

(cd "$work" && exec "$prog/vantorix" --batch -p "$profile" -o "$out" --overwrite "$work/clips/long.avi") \
    > "$work/batch.log" 2>&1 &
app_pid=$!
# Killed once the engine has written part of its output.
writing() { [ -n "$(find "$out" -mindepth 1 -type f -size +0 -print -quit)" ]; }
wait_until 600 writing || fail "the engine never wrote anything"
kill -KILL "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""
engine_gone() { ! pgrep -f -- "$work/clips/long.avi" >/dev/null; }
wait_until 100 engine_gone || fail "an engine outlived the killed batch: $(pgrep -af -- "$work/clips/long.avi")"

status=0
(cd "$work" && exec "$prog/vantorix" --batch -p "$profile" -o "$out" --overwrite "$work/short/short.avi") \
    >> "$work/batch.log" 2>&1 || status=$?
[ "$status" = 0 ] || fail "the second batch exited $status"
left="$(ls -A "$out")"
[ "$left" = short.mp4 ] || fail "the output folder holds more than the second batch's output: $left"
length="$(length_of "$out/short.mp4")"
awk -v l="$length" 'BEGIN { exit !(l + 0 > 1.5 && l + 0 < 2.5) }' || fail "short.mp4 lasts '$length' s instead of 2 s"
echo "PASS: nothing left behind by the killed batch"
