#!/usr/bin/env bash
# scripts/parallel-batch over three real SSH workers built on this machine:
# each a network namespace with its own sshd and address. w1 and w2 have a
# private view of the files (a tmpfs over the data folder in a mount
# namespace of their own), w3 shares the controller's files. Thirteen clips
# with awkward names (and one with a newline) go through: a plain run with
# many slots on one worker, a run where w1 is stopped mid-batch, a resume with
# the dead worker filtered out, a worker whose engine is missing, the
# controller killed mid-conversion, and --clean-workers. Needs root and
# namespaces; skipped (77) otherwise.
# Usage: ssh_workers_test.sh SCRIPT PROGRAM_FOLDER
set -euo pipefail
script="$1"
program="$2"
source "$(dirname "${BASH_SOURCE[0]}")/namespaces.sh"
[ "$(id -u)" -eq 0 ] || skip "needs root for network and mount namespaces"
for tool in ip unshare ssh ssh-keygen /usr/sbin/sshd parallel ffmpeg ffprobe; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps installs it)"
done
unshare -n -m true 2>/dev/null || skip "cannot create namespaces here"

tag="vf$$"
clear_stale vf
work="$(test_folder vf)"
export TMPDIR="$work" # a controller killed outright leaves its files here
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
printf '%s\n' "Host *" "  User root" "  IdentityFile $work/ssh/id" "  IdentitiesOnly yes" \
    "  UserKnownHostsFile $work/ssh/known_hosts" "  StrictHostKeyChecking no" "  LogLevel ERROR" > "$work/ssh/config"
start_worker() { # N PRIVATE [EXTRA MOUNT COMMAND]
    local n="$1" ns="$tag-$1" dir="$work/w$1"
    mkdir -p "$dir/home"
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
        ip link set "$tag-$n" up
        ip -n "$ns" addr add "10.$net.$n.2/24" dev eth0
        ip -n "$ns" link set eth0 up
        ip -n "$ns" link set lo up
    fi
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
for n in 1 2 3; do printf 'Host w%s\n  HostName 10.%s.%s.2\n' "$n" "$net" "$n"; done > "$work/ssh/all"
cat "$work/ssh/config" >> "$work/ssh/all"
for n in 1 2; do start_worker "$n" private; done
start_worker 3 shared

# --- the clips -----------------------------------------------------------------
names=("plain" "two words" "it's" 'say "hi"' '$(touch HACKED)' 'back\slash' ';&' '-dash'
       'Ünï cödé' 'star*q?' 'a  b' '#hash')
i=0
for name in "${names[@]}"; do
    i=$((i + 1))
    ffmpeg -loglevel error -f lavfi -i "testsrc=duration=$((1 + i % 3)):size=320x240:rate=25" \
        -f lavfi -i "sine=duration=$((1 + i % 3))" -shortest -c:v mpeg4 -c:a mp2 -y "$work/data/in/$name.avi"
done
cp "$work/data/in/plain.avi" "$work/data/in/new"$'\n'"line.avi"
echo "not a video" > "$work/data/in/broken.avi"
(cd "$work/data/in" && sha256sum -- * > "$work/inputs.sha")

run() { # JOBLOG LOGINS [OPTION...]
    local joblog="$1" logins="$2"; shift 2
    printf '%s\n' $logins > "$work/logins"
    status=0
    (cd "$work" && "$script" -S logins --ssh-config "$work/ssh/all" -p "MP4 H.264 AAC" -o data/out \
        --program "$program" --joblog "$joblog" --set "Video Size=160x120" --set "Encoding Preset=ultrafast" "$@" data/in) \
        > "$work/run.log" 2>&1 || status=$?
    echo "$status" > "$work/status"
}
dur() { ffprobe -v error -show_entries format=duration -of csv=p=0 -- "file:$1"; }
check_outputs() { # every clip converted once, as long as its input, originals intact
    local name out
    for name in "${names[@]}"; do
        out="$work/data/out/$name.mp4"
        [ -s "$out" ] || fail "$out is missing"
        [ "$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 -- "file:$out")" = "160,120" ] \
            || fail "$out is not 160x120"
        awk -v a="$(dur "$out")" -v b="$(dur "$work/data/in/$name.avi")" 'BEGIN { exit (a - b > 0.5 || b - a > 0.5) }' \
            || fail "$out does not last as long as its input"
        grep -qF "Complete  $work/data/in/$name.avi" "$work/run.log" || fail "no Complete line for $name"
    done
    (cd "$work/data/in" && sha256sum --quiet -c "$work/inputs.sha") || fail "an input changed or vanished"
    [ -z "$(find "$work" -name HACKED)" ] || fail "a name was run as a command"
    [ -z "$(find "$work/data/out" -mindepth 1 -name '.*')" ] || fail "the run left its stage folder behind"
    grep -qF 'Skipped  '"$work"'/data/in/new\nline.avi: a newline in the name' "$work/run.log" \
        || fail "the name with a newline was not reported as skipped"
}

# 1. Many slots on the sharing worker, the others private: every name comes
# back, the sharing worker's originals stay, nothing is left on the workers.
logins() { grep -c "Accepted publickey" "$work/w$1/sshd.log" || true; }
before=("$(logins 1)" "$(logins 2)" "$(logins 3)")
run "$work/jobs1.log" "2/w1 2/w2 12/w3"
[ "$status" -eq 2 ] || fail "a broken input and a skipped name should give 2, got $status"
check_outputs
grep -q "^Failed  $work/data/in/broken.avi" "$work/run.log" || fail "broken.avi did not fail"
[ "$(tail -n +2 "$work/jobs1.log" | wc -l)" -eq 13 ] || fail "the job log should list 13 jobs"
for n in 1 2 3; do
    grep -q "^Complete .*(w$n)\$" "$work/run.log" || fail "w$n converted nothing"
    # One connection per 8 job slots, shared by the jobs there.
    [ $(($(logins "$n") - before[n - 1])) -le $(( n == 3 ? 2 : 1 )) ] || fail "w$n got a connection per job"
    [ "$(ls -d "$work/w$n/cache"/program-* | wc -l)" -eq 1 ] || fail "w$n should hold one unpacked program"
    [ -z "$(find "$work/w$n/cache/runs" -mindepth 2 2>/dev/null)" ] || fail "w$n keeps copies of the run"
done
[ -z "$(find "$work/w3/cache/runs" -mindepth 1 2>/dev/null)" ] || fail "the sharing worker copied files"

# 2. w1 stopped mid-batch: its jobs go elsewhere, nothing is lost.
rm -f "$work/data/out"/*
run "$work/jobs2.log" "2/w1 2/w2 2/w3" &
runner=$!
for _ in $(seq 600); do
    compgen -G "$work/w1/cache/runs/*/*/in/*" >/dev/null && break
    sleep 0.1
done
kill_all_in "$tag-1"
wait "$runner" || true
grep -q "w1 stopped answering" "$work/run.log" || fail "the stopped worker was not reported"
status="$(cat "$work/status")"
[ "$status" -eq 2 ] || fail "the run with a stopped worker should give 2, got $status"
check_outputs
[ -z "$(find "$work/data/out" -name 'broken*')" ] || fail "a failed job left an output"

# 3. Resume with the broken input fixed, the dead worker left out: only the
# failed job runs again.
ffmpeg -loglevel error -f lavfi -i "testsrc=duration=1:size=320x240:rate=25" -c:v mpeg4 -y "$work/data/in/broken.avi"
(cd "$work/data/in" && sha256sum -- * > "$work/inputs.sha")
run "$work/jobs2.log" "2/w1 2/w2 2/w3" --filter-hosts --resume
[ "$status" -eq 1 ] || fail "the resumed run should give 1 (the skipped name), got $status"
grep -q "leaving out w1: cannot connect" "$work/run.log" || fail "the dead worker was not left out"
[ "$(grep -c '^Complete ' "$work/run.log")" -eq 1 ] || fail "the resumed run converted more than the failed job"
[ -s "$work/data/out/broken.mp4" ] || fail "the resumed job wrote nothing"

# 4. A worker without its engine is named, and --clean-workers empties them.
start_worker 1 private "mount --bind /dev/null /usr/bin/ffmpeg"
run "$work/jobs3.log" "w1 w2"
[ "$status" -eq 255 ] || fail "a worker without engine should stop the run with 255, got $status"
grep -q "^parallel-batch: w1: the engine .*does not run there.*install ffmpeg on w1" "$work/run.log" \
    || fail "the missing engine was not reported with the worker's name"
# 5. The controller killed outright mid-conversion: the program on the
# worker stops with its session (no engine is left running there).
ffmpeg -loglevel error -f lavfi -i "testsrc=duration=60:size=640x480:rate=25" -c:v mpeg4 -y "$work/long.avi"
printf '1/w2\n' > "$work/logins"
(cd "$work" && exec setsid "$script" -S logins --ssh-config "$work/ssh/all" -p "MP4 H.264 AAC" -o out2 \
    --program "$program" long.avi > "$work/run.log" 2>&1) &
controller=$!
disown
engine() { ip netns pids "$tag-2" | xargs -r -n1 ps -o args= -p | grep "wmaspi.dll.* -i .*/long.avi" || true; }
for _ in $(seq 600); do [ -z "$(engine)" ] || break; sleep 0.1; done
[ -n "$(engine)" ] || fail "the long conversion did not start on w2"
kill -9 -- "-$controller"
for _ in $(seq 300); do [ -n "$(engine)" ] || break; sleep 0.1; done
[ -z "$(engine)" ] || fail "the engine on w2 outlived the controller"
printf '%s\n' w1 w2 w3 > "$work/logins"
"$script" -S "$work/logins" --ssh-config "$work/ssh/all" --clean-workers > "$work/run.log" 2>&1 \
    || fail "--clean-workers failed"
for n in 1 2 3; do [ ! -e "$work/w$n/cache" ] || fail "w$n still holds the program"; done
echo "ssh workers: OK"
