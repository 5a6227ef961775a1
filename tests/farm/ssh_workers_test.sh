#!/usr/bin/env bash
# vantorix --batch --hosts over three real SSH workers built on this machine:
# each a network namespace with its own sshd and address. w1 and w2 have a
# private view of the files (a tmpfs over the data folder in a mount
# namespace of their own), w3 shares the controller's files. Twelve clips
# with awkward names and a broken one go through a plain run, then one run
# per fault of a worker (the table below), then the controller killed
# outright. Every run must end with every clip converted once and checked,
# the broken one failed, the inputs untouched. Prints the time a dead host
# takes to be noticed and the cost of --hosts over a local batch. Needs root
# and namespaces; skipped (77) otherwise.
# Usage: ssh_workers_test.sh PROGRAM_FOLDER
set -euo pipefail
program="$1"
source "$(dirname "${BASH_SOURCE[0]}")/namespaces.sh"
[ "$(id -u)" -eq 0 ] || skip "needs root for network and mount namespaces"
for tool in ip unshare ssh ssh-keygen /usr/sbin/sshd ffmpeg ffprobe; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps installs it)"
done
unshare -n -m true 2>/dev/null || skip "cannot create namespaces here"

tag="vf$$"
clear_stale vf
work="$(test_folder vf)"
export TMPDIR="$work" # a controller killed outright leaves its files here
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
made_run_sshd=""
cleanup() {
    for n in 1 2 3; do
        kill_all_in "$tag-$n"
        ip netns del "$tag-$n" 2>/dev/null || true
    done
    [ -z "$made_run_sshd" ] || rmdir /run/sshd 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
[ -d /run/sshd ] || { mkdir -p /run/sshd; made_run_sshd=1; }

# --- the workers ---------------------------------------------------------------
net="$(free_net)"
mkdir -p "$work/ssh" "$work/data/in" "$work/data/out"
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/id"
cp "$work/ssh/id.pub" "$work/ssh/authorized_keys"
for n in 1 2 3; do printf 'Host w%s\n  HostName 10.%s.%s.2\n' "$n" "$net" "$n"; done > "$work/ssh/all"
printf '%s\n' "Host *" "  User root" "  IdentityFile $work/ssh/id" "  IdentitiesOnly yes" \
    "  UserKnownHostsFile $work/ssh/known_hosts" "  StrictHostKeyChecking no" "  LogLevel ERROR" >> "$work/ssh/all"
# (Re)starts worker N with a private or shared view of the files; MOUNTS
# runs in its mount namespace before its sshd starts.
start_worker() { # N private|shared [MOUNTS]
    local n="$1" ns="$tag-$1" dir="$work/w$1"
    kill_all_in "$ns"
    mkdir -p "$dir/home" "$dir/cache"
    [ -f "$dir/host_key" ] || ssh-keygen -q -t ed25519 -N '' -f "$dir/host_key"
    cat > "$dir/sshd_config" <<EOF
ListenAddress 10.$net.$n.2
HostKey $dir/host_key
PidFile none
AuthorizedKeysFile $work/ssh/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
SetEnv HOME=$dir/home VANTORIX_FARM_CACHE=$dir/cache
EOF
    if ! ip netns list | grep -q "^$ns\b"; then
        ip netns add "$ns"
        ip link add "$tag-$n" type veth peer name eth0 netns "$ns"
        ip addr add "10.$net.$n.1/24" dev "$tag-$n"
        ip -n "$ns" addr add "10.$net.$n.2/24" dev eth0
        ip -n "$ns" link set eth0 up
        ip -n "$ns" link set lo up
    fi
    ip link set "$tag-$n" up
    local mounts="${3:-true}"
    [ "$2" = private ] && mounts="mount -t tmpfs none $work/data && $mounts"
    ip netns exec "$ns" unshare -m --propagation private \
        sh -c "$mounts && exec /usr/sbin/sshd -D -e -f $dir/sshd_config" 2>>"$dir/sshd.log" &
    disown
    for _ in $(seq 100); do
        ssh -F "$work/ssh/all" -o ConnectTimeout=2 "w$n" true 2>/dev/null && return 0
        sleep 0.1
    done
    fail "the sshd of w$n does not answer: $(cat "$dir/sshd.log")"
}
plain_workers() { start_worker 1 private; start_worker 2 private; start_worker 3 shared; }
plain_workers

# --- the clips -----------------------------------------------------------------
names=("plain" "two words" "it's" 'say "hi"' '$(touch HACKED)' 'back\slash' ';&' '-dash'
       'Ünï cödé' 'star*q?' 'a  b' '#hash')
clip() { # FILE SECONDS [SIZE]
    ffmpeg -loglevel error -f lavfi -i "testsrc=duration=$2:size=${3:-320x240}:rate=25" \
        -f lavfi -i "sine=duration=$2" -shortest -c:v mpeg4 -c:a mp2 -y "$1"
}
i=0
for name in "${names[@]}"; do
    i=$((i + 1))
    clip "$work/data/in/$name.avi" $((1 + i % 3))
done
echo "not a video" > "$work/data/in/broken.avi"
(cd "$work/data/in" && sha256sum -- * > "$work/inputs.sha")

# Converts data/in to data/out on the hosts given (one a line); sets status.
run() { # HOSTS [OPTION...]
    printf '%s\n' $1 > "$work/hosts"; shift
    rm -rf "$work/data/out"; mkdir -p "$work/data/out"
    status=0
    (cd "$work" && QT_LOGGING_RULES="vantorix.engine.info=true" "$program/vantorix" --batch --hosts hosts \
        --ssh-config "$work/ssh/all" -p "MP4 H.264 AAC" -o data/out --overwrite --set "Video Size=160x120" \
        --set "Encoding Preset=ultrafast" "$@" data/in) > "$work/run.log" 2>&1 || status=$?
    echo "$status" > "$work/status"
}
dur() { ffprobe -v error -show_entries format=duration -of csv=p=0 -- "file:$1"; }
# Every clip converted once, as long as its input, the inputs intact.
check_outputs() { # WHAT [WORKER THAT MAY KEEP ITS WORK FOLDER]
    local name out n
    [ "$status" -eq 1 ] || fail "$1: the broken input should give 1, got $status"
    for name in "${names[@]}"; do
        out="$work/data/out/$name.mp4"
        [ -s "$out" ] || fail "$1: $out is missing"
        [ "$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 -- "file:$out")" = "$size" ] \
            || fail "$1: $out is not $size"
        awk -v a="$(dur "$out")" -v b="$(dur "$work/data/in/$name.avi")" 'BEGIN { exit (a - b > 0.5 || b - a > 0.5) }' \
            || fail "$1: $out does not last as long as its input"
        grep -qF "Complete  $work/data/in/$name.avi" "$work/run.log" || fail "$1: no Complete line for $name"
    done
    grep -qF "Failed  $work/data/in/broken.avi" "$work/run.log" || fail "$1: broken.avi did not fail"
    [ "$(find "$work/data/out" -mindepth 1 | wc -l)" -eq 12 ] || fail "$1: the output folder holds more than the outputs"
    (cd "$work/data/in" && sha256sum --quiet -c "$work/inputs.sha") || fail "$1: an input changed or vanished"
    [ -z "$(find "$work" -name HACKED)" ] || fail "$1: a name was run as a command"
    for n in 1 2 3; do
        [ "$n" = "${2:-}" ] || [ -z "$(find "$work/w$n/cache/runs" -mindepth 1 2>/dev/null)" ] \
            || fail "$1: w$n keeps a work folder"
    done
}
size=160,120 # of every output
converted_on() { grep -c "goes to w$1\$" "$work/run.log" || true; }
logins() { grep -c "Accepted publickey" "$work/w$1/sshd.log" || true; }

# 1. Plain: many slots on the sharing worker (listed twice: one host), the
# others private; every worker converts, one connection per 8 slots, one
# copy of the program per worker.
before=("$(logins 1)" "$(logins 2)" "$(logins 3)")
run "2/w1 2/w2 12/w3 w3"
check_outputs plain
for n in 1 2 3; do
    [ "$(converted_on "$n")" -gt 0 ] || fail "w$n converted nothing"
    [ $(($(logins "$n") - before[n - 1])) -le $(( n == 3 ? 2 : 1 )) ] || fail "w$n got a connection per task"
    [ "$(ls -d "$work/w$n/cache"/program-* | wc -l)" -eq 1 ] || fail "w$n should hold one copy of the program"
done
grep -q "leaving out" "$work/run.log" && fail "plain: a worker was left out"
# The sharing worker reads the inputs in place, the others are sent them.
[ "$(grep -c "input read in place on w3\$" "$work/run.log")" -eq "$(converted_on 3)" ] || fail "w3 was sent an input"
[ "$(grep -c "input sent to w[12]\$" "$work/run.log")" -eq $(($(converted_on 1) + $(converted_on 2))) ] \
    || fail "w1 or w2 read an input in place"

# 2. The faults of a worker, each in a run of its own: WORKER, its view, the
# mounts that make it sick, and the line that must tell what became of it.
real_ffmpeg="$work/ffmpeg-real"
cp "$(readlink -f "$(command -v ffmpeg)")" "$real_ffmpeg"
cat > "$work/truncating-ffmpeg" <<EOF
#!/bin/sh
# Converts only the first half second of every clip.
[ "\$1" = -version ] && exec "$real_ffmpeg" -version
n=\$#; i=0
for a; do
    i=\$((i + 1))
    if [ \$i -eq \$n ]; then set -- "\$@" -t 0.5 "\$a"; else set -- "\$@" "\$a"; fi
done
shift \$n
exec "$real_ffmpeg" "\$@"
EOF
chmod +x "$work/truncating-ffmpeg"
ffmpeg_path="$(command -v ffmpeg)"
mkdir -p "$work/w1/cache/runs" "$work/w2/other"
for name in "${names[@]}"; do clip "$work/w2/other/$name.avi" 4 176x144; done
faults=(
  "engine missing|1|private|mount --bind /dev/null $ffmpeg_path|leaving out w1: the engine does not run"
  "no space|1|private|mount -t tmpfs -o size=1m none $work/w1/cache/runs|leaving out w1: .* has no room"
  "read-only work folder|1|private|mount -t tmpfs -o ro none $work/w1/cache/runs|leaving out w1: nothing can be written"
  "truncating engine|1|private|mount --bind $work/truncating-ffmpeg $ffmpeg_path|leaving out w1: its output of .* failed the check"
  "other files at the same paths|2|private|mkdir -p $work/data/in; cp $work/w2/other/* $work/data/in/|"
  "files shared read-only|3|shared|mount --bind -o ro $work/data $work/data|"
)
for fault in "${faults[@]}"; do
    IFS='|' read -r what n view mounts expected <<<"$fault"
    start_worker "$n" "$view" "$mounts"
    run "2/w1 2/w2 2/w3"
    check_outputs "$what"
    if [ -n "$expected" ]; then
        grep -q "$expected" "$work/run.log" || fail "$what: no line \"$expected\""
    else
        [ "$(converted_on "$n")" -gt 0 ] || fail "$what: w$n converted nothing"
        [ "$n" = 3 ] || ! grep -q "input read in place on w$n\$" "$work/run.log" || fail "$what: w$n read its own files"
        grep -q "leaving out" "$work/run.log" && fail "$what: a worker was left out"
    fi
    echo "fault \"$what\" on w$n: $(grep -c '^  Complete' "$work/run.log") complete, $(grep -c '^  Failed' "$work/run.log") failed;" \
        "$(grep -o 'leaving out.*' "$work/run.log" | head -n1)"
    plain_workers
done

# 3. A worker lost mid-batch (its processes killed, then its link down):
# its tasks go elsewhere, nothing is lost, and it is noticed.
# The engines working on worker N (converting FILTER when given).
engine_on() { # N [FILTER]
    ip netns pids "$tag-$1" | xargs -r -n1 ps -o args= -p 2>/dev/null | grep -F "wmaspi.dll" | grep -F -- "${2:-/}" || true
}
size=640,480
for how in killed "link down"; do
    rm -f "$work/run.log"
    run "2/w1 2/w2 2/w3" --set "Video Size=640x480" --set "Encoding Preset=veryslow" &
    runner=$!
    for _ in $(seq 600); do grep -qs "input sent to w1$" "$work/run.log" && break; sleep 0.1; done
    grep -q "input sent to w1$" "$work/run.log" || { wait "$runner" || true; fail "$how: w1 was given nothing"; }
    lost_at=$(date +%s.%N)
    if [ "$how" = killed ]; then kill_all_in "$tag-1"; else ip link set "$tag-1" down; fi
    noticed=""
    while :; do
        if [ -z "$noticed" ] && grep -qs "leaving out w1" "$work/run.log"; then
            noticed=$(awk -v a="$lost_at" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
        fi
        kill -0 "$runner" 2>/dev/null || break
        sleep 0.2
    done
    wait "$runner" || true
    status="$(cat "$work/status")"
    [ -n "$noticed" ] || fail "$how: the lost worker was not left out"
    grep -q "w1 failed a task" "$work/run.log" || fail "$how: the lost task was not reported"
    check_outputs "w1 $how" 1
    echo "w1 $how: $(grep -c '^  Complete' "$work/run.log") complete, $(grep -c '^  Failed' "$work/run.log") failed;" \
        "left out $noticed s after the loss"
    plain_workers
done

size=160,120

# 4. The controller killed outright mid-conversion: the engine on the worker
# stops with its connection, and its work folder goes.
clip "$work/long.avi" 60 640x480
printf '1/w2\n' > "$work/hosts"
(cd "$work" && exec setsid "$program/vantorix" --batch --hosts hosts --ssh-config "$work/ssh/all" \
    -p "MP4 H.264 AAC" -o data/out --overwrite long.avi > "$work/run.log" 2>&1) &
controller=$!
disown
engine() { engine_on 2 long.avi; }
for _ in $(seq 600); do [ -z "$(engine)" ] || break; sleep 0.1; done
[ -n "$(engine)" ] || fail "the long conversion did not start on w2"
kill -9 -- "-$controller" 2>/dev/null || true
for _ in $(seq 300); do [ -n "$(engine)" ] || break; sleep 0.1; done
[ -z "$(engine)" ] || fail "the engine on w2 outlived the controller"
for _ in $(seq 100); do [ -n "$(find "$work/w2/cache/runs" -mindepth 1 2>/dev/null)" ] || break; sleep 0.1; done
[ -z "$(find "$work/w2/cache/runs" -mindepth 1 2>/dev/null)" ] || fail "the worker on w2 left its work folder"

# 5. What --hosts costs over a local batch, on the same clips and cores:
# two at once here, then through a worker here, then on the three workers.
timed() { # VARIABLE COMMAND...: the seconds COMMAND took into VARIABLE
    local start; start=$(date +%s.%N)
    "${@:2}"
    printf -v "$1" '%s' "$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')"
}
local_batch() {
    rm -rf "$work/data/out"; mkdir -p "$work/data/out"
    (cd "$work" && "$program/vantorix" --batch -j 2 -p "MP4 H.264 AAC" -o data/out --overwrite \
        --set "Video Size=160x120" --set "Encoding Preset=ultrafast" data/in > "$work/run.log" 2>&1) || status=$?
}
status=0
timed local_secs local_batch
[ "$status" -eq 1 ] || fail "the local batch should give 1, got $status"
timed here_secs run "2/:"
check_outputs "a worker on this machine" 1
timed hosts_secs run "2/w1 2/w2 2/w3"
echo "12 clips and a broken one: local --batch -j 2 took $local_secs s; --hosts with \"2/:\" $here_secs s;" \
    "--hosts over 3 workers (2 slots each, the same 2 cores) $hosts_secs s"
check_outputs "after the losses" # the next worker on w1 removed what the lost one left
echo "ssh workers: OK"
