# Shared by the farm tests: skipping, failing, and the namespaces and folders
# a test makes, named after its process so that a run killed outright (a
# timeout's SIGKILL runs no trap) is cleared by the next one.
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; cat "$work/run.log" >&2 2>/dev/null || true; exit 1; }

# Kills every process in namespace NS. A process may end between the listing
# and its kill; that is what was wanted, not a failure (under `set -e -o
# pipefail` it would end the test, and its trap would remove the folder a
# run in the background still writes to).
kill_all_in() { # NS
    ip netns pids "$1" 2>/dev/null | xargs -r kill -9 2>/dev/null || true
}

# Removes the namespaces (and what runs in them) and folders named PREFIX<PID>
# whose test process is gone.
clear_stale() { # PREFIX
    local name pid
    for name in $(ip netns list | awk '{ print $1 }' | grep -E "^$1[0-9]+(-[0-9]+)?\$"); do
        pid="${name#"$1"}"; pid="${pid%-*}"
        kill -0 "$pid" 2>/dev/null && continue
        kill_all_in "$name"
        ip netns del "$name"
    done
    for name in /tmp/vantorix-"$1"[0-9]*.*; do
        [ -d "$name" ] || continue
        pid="${name#/tmp/vantorix-"$1"}"; pid="${pid%%.*}"
        kill -0 "$pid" 2>/dev/null || rm -rf "$name"
    done
}

# A network a 10.N.0.0/16 that no route of this machine uses.
free_net() {
    local net=$((200 + $$ % 50))
    while ip route | grep -q "^10\.$net\."; do net=$((net % 250 + 1)); done
    echo "$net"
}

# This test's folder, /tmp/vantorix-PREFIX<PID>.XXXXXX.
test_folder() { mktemp -d "/tmp/vantorix-$1$$.XXXXXX"; }
