#!/usr/bin/env bash
# scripts/slurm-batch on a one-node Slurm cluster that the test brings up in a
# network namespace of its own (munged, slurmctld and slurmd with their files
# in a temporary folder) and stops after: an array submitted held, one task
# cancelled, the rest converted and checked under a cap of two at once; then
# --resume submits only the cancelled file and waits for it. Needs root and
# Debian's slurm-wlm and munge; skipped (77) otherwise.
# Usage: slurm_test.sh SCRIPT PROGRAM_FOLDER
set -euo pipefail
script="$1"
program="$2"
source "$(dirname "${BASH_SOURCE[0]}")/namespaces.sh"
[ "$(id -u)" -eq 0 ] || skip "needs root to start Slurm's daemons"
for tool in ip nsenter munged mungekey slurmctld slurmd sbatch squeue scancel scontrol ffmpeg ffprobe; do
    command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps installs it)"
done
unshare -n true 2>/dev/null || skip "cannot create a network namespace here"

ns="vs$$"
clear_stale vs
work="$(test_folder vs)"
chmod 755 "$work"
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
in_ns slurmctld -D -f "$SLURM_CONF" >/dev/null 2>&1 &
in_ns slurmd -D -f "$SLURM_CONF" -N node1 >/dev/null 2>&1 &
for _ in $(seq 300); do
    in_ns sinfo -h -N -o %T 2>/dev/null | grep -qx idle && break
    sleep 0.1
done
in_ns sinfo -h -N -o %T 2>/dev/null | grep -qx idle || fail "the Slurm node did not come up"

# --- the batch -------------------------------------------------------------------
names=("plain" "two words" "it's" '$(touch HACKED)' 'back\slash' '-dash' 'Ünï cödé' ';&')
i=0
for name in "${names[@]}"; do
    i=$((i + 1))
    ffmpeg -loglevel error -f lavfi -i "testsrc=duration=$((1 + i % 3)):size=320x240:rate=25" \
        -f lavfi -i "sine=duration=$((1 + i % 3))" -shortest -c:v mpeg4 -c:a mp2 -y "$work/data/in/$name.avi"
done
cp "$work/data/in/plain.avi" "$work/data/in/new"$'\n'"line.avi"
batch() { in_ns "$script" -p "MP4 H.264 AAC" -o "$work/data/out" --program "$program" \
              --set "Video Size=160x120" "$@" > "$work/run.log" 2>&1; }

# Held at submission, so that the third task is cancelled before it runs.
status=0
batch --max-running 2 "$work/data/in" -- --hold || status=$?
[ "$status" -eq 1 ] || fail "a skipped name should give 1 at submission, got $status"
jobid="$(sed -n 's/^Submitted job array \([0-9]*\): 8 files.*/\1/p' "$work/run.log")"
[ -n "$jobid" ] || fail "no job array of 8 files was submitted"
grep -qF 'Skipped  '"$work"'/data/in/new\nline.avi: a newline in the name' "$work/run.log" \
    || fail "the name with a newline was not reported as skipped"
info="$(in_ns scontrol show job "${jobid}_1")"
grep -q "ArrayTaskThrottle=2" <<<"$info" || fail "the array is not capped at 2 tasks at once"
grep -q "Requeue=1" <<<"$info" || fail "the array's tasks are not requeued when a node fails"
third="$(sort -f <<<"$(printf '%s\n' "${names[@]}")" | sed -n 3p)"
in_ns scancel "${jobid}_3"
in_ns scontrol release "$jobid"
for _ in $(seq 1800); do
    [ -z "$(in_ns squeue -h -j "$jobid" 2>/dev/null)" ] && break
    sleep 0.1
done
[ -z "$(in_ns squeue -h -j "$jobid")" ] || fail "the array did not end"
for name in "${names[@]}"; do
    out="$work/data/out/$name.mp4"
    if [ "$name" = "$third" ]; then [ ! -e "$out" ] || fail "the cancelled task wrote $out"; continue; fi
    [ "$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 -- "file:$out")" = "160,120" ] \
        || fail "$out is missing or not 160x120"
done
[ -z "$(find "$work" -name HACKED)" ] || fail "a name was run as a command"

# Resume: only the cancelled file is submitted, and waited for.
status=0
batch --resume --wait "$work/data/in" || status=$?
[ "$status" -eq 1 ] || fail "the resumed batch should give 1 (the skipped name), got $status"
grep -q "^Job array [0-9]* ended: 1 file$" "$work/run.log" || fail "the resumed batch did not submit exactly one file"
grep -qF "Complete  $work/data/in/$third.avi -> $work/data/out/$third.mp4" "$work/run.log" \
    || fail "the cancelled file was not converted by the resumed batch"
[ "$(find "$work/data/out" -name '*.mp4' | wc -l)" -eq 8 ] || fail "the output folder should hold 8 outputs"
[ ! -e "$work/data/out/.vantorix-slurm" ] || fail "the batch left its folder in the output folder"
echo "slurm: OK"
