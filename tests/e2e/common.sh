# Shared set-up of the end-to-end scripts, sourced after their `set -euo
# pipefail`: a work folder removed at exit together with the program and the X
# server, fail(), wait_until(), a fresh program folder and a private display.
# A script may define on_failure() to keep more evidence before fail() exits.

work="$(mktemp -d)"
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    if declare -F on_failure >/dev/null; then
        on_failure
    fi
    exit 1
}

# Until the command succeeds, for at most $1 tenths of a second.
wait_until() {
    local tenths="$1"
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

# A fresh program folder in $prog, copied from the built one in $1: the
# executable, the engine and the profiles; also the clips/ and shell/ folders.
make_program_folder() {
    prog="$work/program"
    mkdir -p "$prog" "$work/clips" "$work/shell"
    cp "$1/vantorix" "$prog/"
    cp -P "$1/wmaspi.dll" "$prog/"
    cp -r "$1/Profiles" "$prog/"
}

# Xvfb on a free display (extra server options in the arguments), and the
# environment the program runs in: that display, the shell/ folder first on
# the PATH, the user's data folder (where the task list is kept) inside the
# work folder, and no desktop session to take after.
start_display() {
    exec 3> "$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp "$@" >/dev/null 2>&1 &
    xvfb_pid=$!
    wait_until 100 test -s "$work/display" || fail "Xvfb did not start"
    export DISPLAY=":$(head -n1 "$work/display")"
    export QT_QPA_PLATFORM=xcb
    export PATH="$work/shell:$PATH"
    export XDG_DATA_HOME="$work/data"
    unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID
}
