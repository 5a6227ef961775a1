#!/usr/bin/env bash
# vantorix --batch --slurm on a one-node Slurm cluster that the test brings up
# in a network namespace of its own (munged, slurmctld and slurmd with their
# files in a temporary folder) and stops after. The faults are one table,
# each a run over the same clips (awkward names, two inputs with one stem, an
# input with the output's name beside its outputs):
#   plain       every clip Complete, checked, 160x120, one array, no folder left
#   ctld-down   slurmctld stopped while the array runs: nothing is removed and
#               the batch waits; once it is back every clip arrives
#   cancelled   one element cancelled with scancel: its clip Failed with
#               Slurm's words, the others Complete
# Prints the time of the plain run against a local --batch on the same clips.
# Needs root and Debian's slurm-wlm and munge; skipped (77) otherwise.
# Usage: slurm_test.sh PROGRAM_FOLDER
set -euo pipefail
program="$1"
source "$(dirname "${BASH_SOURCE[0]}")/namespaces.sh"
[ "$(id -u)" -eq 0 ] || skip "needs root to start Slurm's daemons"
for tool in ip nsenter munged mungekey slurmctld slurmd sbatch squeue scancel scontrol sinfo ffmpeg ffprobe; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps installs it)"
done
unshare -n true 2>/dev/null || skip "cannot create a network namespace here"

ns="vs$$"
clear_stale vs
work="$(test_folder vs)"
chmod 755 "$work"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
cleanup() {
    kill_all_in "$ns"
    ip netns del "$ns" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# --- the cluster: one node, addresses of its own ----------------------------
net="$(free_net)"
ip netns add "$ns"
ip link add "$ns" type veth peer name eth0 netns "$ns"
ip -n "$ns" addr add "10.$net.99.2/24" dev eth0
ip -n "$ns" link set eth0 up
ip -n "$ns" link set lo up
in_ns() { nsenter --net="/var/run/netns/$ns" "$@"; }
mkdir -p "$work/munge" "$work/state" "$work/spool" "$work/log" "$work/data/in"
mungekey -c -k "$work/munge/munge.key"
export SLURM_CONF="$work/slurm.conf"
cat > "$SLURM_CONF" <<EOF
ClusterName=vantorix-test
SlurmctldHost=$(hostname -s)(10.$net.99.2)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/sock
CredType=cred/munge
MpiDefault=none
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MailProg=/bin/true
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmdSpoolDir=$work/spool
StateSaveLocation=$work/state
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
NodeName=node1 NodeAddr=10.$net.99.2 CPUs=2 State=UNKNOWN
PartitionName=main Nodes=node1 Default=YES MaxTime=INFINITE State=UP
EOF
in_ns munged -F -f --socket="$work/munge/sock" --key-file="$work/munge/munge.key" --pid-file="$work/munge/pid" \
    --log-file="$work/log/munged.log" --seed-file="$work/munge/seed" >/dev/null 2>&1 &
start_ctld() { in_ns slurmctld -D -f "$SLURM_CONF" >/dev/null 2>&1 & }
start_ctld
in_ns slurmd -D -f "$SLURM_CONF" -N node1 >/dev/null 2>&1 &
for _ in $(seq 300); do
    in_ns sinfo -h -N -o %T 2>/dev/null | grep -qx idle && break
    sleep 0.1
done
in_ns sinfo -h -N -o %T 2>/dev/null | grep -qx idle || fail "the Slurm node did not come up"

# --- the clips -----------------------------------------------------------------
names=("plain" "two words" "it's" '$(touch HACKED)' 'back\slash' '-dash' 'Ünï cödé' ';&' "clip")
i=0
for name in "${names[@]}"; do
    i=$((i + 1))
    ffmpeg -loglevel error -f lavfi -i "testsrc=duration=$((2 + i % 3)):size=320x240:rate=25" \
        -f lavfi -i "sine=duration=$((2 + i % 3))" -shortest -c:v mpeg4 -c:a mp2 -y "$work/data/in/$name.avi"
done
cp "$work/data/in/clip.avi" "$work/data/in/clip.mov"          # two inputs, one stem
ffmpeg -loglevel error -i "$work/data/in/plain.avi" -c copy -y "$work/data/in/orig.mp4" # the output's name
ffmpeg -loglevel error -f lavfi -i "testsrc=duration=120:size=320x240:rate=25" -c:v mpeg4 -y "$work/data/long.avi"
count=$(( ${#names[@]} + 2 ))
orig_sum="$(md5sum < "$work/data/in/orig.mp4")"

# Runs a batch into the input folder itself (so the output names must avoid
# the inputs), in the background: its pid in $batch.
start_batch() { # OPTION...
    in_ns "$program/vantorix" --batch --slurm -p "MP4 H.264 AAC" -o "$work/data/in" --set "Video Size=160x120" \
        "$@" > "$work/run.log" 2>&1 &
    batch=$!
}
clear_outputs() {
    find "$work/data/in" -name '*.mp4' ! -name orig.mp4 -delete
    rm -rf "$work/data/in/.vantorix-slurm"
}
state_left() { [ -e "$work/data/in/.vantorix-slurm" ]; }
wait_for() { # SECONDS COMMAND...
    local n="$1"; shift
    for _ in $(seq $((n * 10))); do "$@" && return 0; sleep 0.1; done
    return 1
}
submitted() { grep -q "Slurm job array [0-9]*:" "$work/run.log"; }
# The outputs are all there and 160x120, the input with the output's name untouched.
check_outputs() { # EXPECTED_COUNT
    local outs
    outs="$(find "$work/data/in" -maxdepth 1 -name '*.mp4' ! -name orig.mp4 | wc -l)"
    [ "$outs" -eq "$1" ] || fail "$outs outputs, not $1"
    while IFS= read -r -d '' out; do
        [ "$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 -- "file:$out")" = "160,120" ] \
            || fail "$out is not 160x120"
    done < <(find "$work/data/in" -maxdepth 1 -name '*.mp4' ! -name orig.mp4 -print0)
    [ "$(md5sum < "$work/data/in/orig.mp4")" = "$orig_sum" ] || fail "an input was replaced by an output"
    [ -z "$(find "$work" -name HACKED)" ] || fail "a name was run as a command"
}

run_plain() {
    start_batch "$work/data/in"
    status=0; wait "$batch" || status=$?
    [ "$status" -eq 0 ] || fail "the plain run ended with $status"
    [ "$(grep -c "^  Complete  " "$work/run.log")" -eq "$count" ] || fail "not every clip is Complete"
    [ "$(grep -c "Slurm job array [0-9]*:" "$work/run.log")" -eq 1 ] || fail "the clips did not go as one array"
    check_outputs "$count"
    [ "$(find "$work/data/in" -maxdepth 1 -name 'clip*.mp4' | wc -l)" -eq 2 ] || fail "two inputs with one stem, not two outputs"
    ! state_left || fail "the run left its folder"
}

run_ctld_down() {
    # At most one element at once: the others wait in the queue while slurmctld is away.
    start_batch -j 1 "$work/data/in"
    wait_for 60 submitted || fail "no array was submitted"
    sleep 1
    ctld="$(cat "$work/slurmctld.pid")"
    kill "$ctld"
    wait_for 30 eval '! kill -0 "$ctld" 2>/dev/null' || fail "slurmctld did not stop"
    stopped=$(date +%s.%N)
    # (squeue tries for a while before it gives up.)
    wait_for 150 grep -q "Slurm gives no answer" "$work/run.log" || fail "the batch did not say that Slurm gives no answer"
    sleep 6 # another round of squeue
    state_left || fail "the state folder was removed while slurmctld was away"
    kill -0 "$batch" 2>/dev/null || fail "the batch ended while slurmctld was away"
    noticed="$(echo "$(date +%s.%N) - $stopped" | bc)"
    start_ctld
    status=0; wait "$batch" || status=$?
    [ "$status" -eq 0 ] || fail "the run with slurmctld away ended with $status"
    check_outputs "$count"
    grep -q "Slurm answers again" "$work/run.log" || fail "the batch did not say that Slurm answers again"
    ! state_left || fail "the run left its folder once Slurm answered"
}

run_cancelled() {
    cp "$work/data/long.avi" "$work/data/in/long.avi"
    start_batch "$work/data/in"
    wait_for 60 submitted || fail "no array was submitted"
    job="$(sed -n 's/.*Slurm job array \([0-9]*\):.*/\1/p' "$work/run.log")"
    element="$(grep -l 'long\.avi' "$work/data/in/.vantorix-slurm"/*/*.task | sed 's|.*/||; s|\.task$||')"
    wait_for 60 eval 'in_ns squeue -h -r -j "$job" -o "%K %T" | grep -qx "$element RUNNING"' || fail "the long clip's element did not run"
    in_ns scancel "${job}_$element"
    status=0; wait "$batch" || status=$?
    rm -f "$work/data/in/long.avi"
    [ "$status" -eq 1 ] || fail "a cancelled element should give 1, got $status"
    grep -A3 "^  Failed  $work/data/in/long.avi" "$work/run.log" | grep -q "CANCELLED" \
        || fail "the cancelled clip's failure does not say Slurm cancelled it"
    [ "$(grep -c "^  Complete  " "$work/run.log")" -eq "$count" ] || fail "not every other clip is Complete"
    [ ! -e "$work/data/in/long.mp4" ] || fail "the cancelled clip has an output"
    check_outputs "$count"
    ! state_left || fail "the run left its folder"
}

for fault in plain ctld-down cancelled; do
    clear_outputs
    started=$(date +%s.%N)
    "run_${fault//-/_}"
    took="$(echo "$(date +%s.%N) - $started" | bc)"
    printf 'slurm %-10s OK (%.1f s)\n' "$fault" "$took"
    if [ "$fault" = ctld-down ]; then printf 'slurm: slurmctld away was told after %.1f s\n' "$noticed"; fi
    if [ "$fault" = plain ]; then plain_time="$took"; fi
done

# The cost of Slurm: the same clips as a local batch.
clear_outputs
started=$(date +%s.%N)
"$program/vantorix" --batch -p "MP4 H.264 AAC" -o "$work/data/in" --set "Video Size=160x120" -j 2 "$work/data/in" \
    > "$work/run.log" 2>&1 || fail "the local batch failed"
local_time="$(echo "$(date +%s.%N) - $started" | bc)"
printf 'slurm: %d clips: --slurm %.1f s, local --batch -j 2 %.1f s\n' "$count" "$plain_time" "$local_time"
echo "slurm: OK"
