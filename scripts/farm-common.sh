# Used by scripts/slurm-batch: quoting, the
# profile's output type, the list of inputs and the check of an output.
# The caller defines die() and sets program, profile and passed (the --set,
# --start and --end arguments), start and end.

# Single quotes for a POSIX shell on the other side, whatever the name holds.
q() { local s="${1//\'/\'\\\'\'}"; printf "'%s'" "$s"; }

# The profile file (when the program folder is read-only, as an installed
# one is, the user's own profile of that name wins), its output extension
# and the streams an output must hold: sets apf, ext, wants_video, wants_audio.
read_profile() {
    user_profiles="${XDG_CONFIG_HOME:-$HOME/.config}/Vantorix/Profiles"
    apf="$program/Profiles/$profile.apf"
    if [ ! -w "$program" ] && [ -f "$user_profiles/$profile.apf" ]; then apf="$user_profiles/$profile.apf"; fi
    [ -f "$apf" ] || die "no profile \"$profile\" in $program/Profiles"
    ext="$(sed -n 's/^Type=\([^[:space:]]*\).*/\1/p' "$apf" | head -n1)"
    ext="${ext:-mp4}"
    wants_video=1 wants_audio=1
    case "${ext,,}" in
        mp3|wav|ogg|oga|m4a|aac|flac|opus|wma|ac3|amr|mka|aif|aiff) wants_video=0 ;;
        gif) wants_audio=0 ;;
    esac
    local arg
    for arg in "${passed[@]+"${passed[@]}"}"; do
        case "${arg,,}" in "disable video=yes") wants_video=0 ;; "disable audio=yes") wants_audio=0 ;; esac
    done
}

# The inputs, absolute, NUL-separated in LIST in a stable order (a resumed
# run must list the same jobs in the same order): files as named, folders
# by their supported files. A name with a newline cannot be one job's
# argument: it is skipped by name. Sets skipped.
collect_inputs() { # LIST PATH...
    local list="$1" path dir file; shift
    skipped=0
    : > "$list"
    add_input() {
        if [[ "$1" == *$'\n'* ]]; then
            echo "Skipped  ${1//$'\n'/\\n}: a newline in the name" >&2
            skipped=$((skipped + 1))
        else
            printf '%s\0' "$1" >> "$list"
        fi
    }
    for path in "$@"; do
        if [ -d "$path" ]; then
            dir="$(cd -- "$path" && pwd)"
            while IFS= read -r -d '' file; do add_input "$file"; done < <(
                find "$dir" -maxdepth 1 -type f ! -name '.*' \
                    \( -iname '*.avi' -o -iname '*.mpg' -o -iname '*.mpeg' -o -iname '*.mp4' -o -iname '*.wmv' \
                       -o -iname '*.mov' -o -iname '*.vob' -o -iname '*.asf' \) -print0 | sort -z -f)
        elif [ -f "$path" ]; then
            add_input "$(cd -- "$(dirname -- "$path")" && pwd)/$(basename -- "$path")"
        else
            die "no such file or folder: $path"
        fi
    done
}

seconds() { awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }' <<<"$1"; }

# What is wrong with OUTPUT as a conversion of INPUT; nothing when it is good:
# it holds a video stream when the profile writes video, an audio stream when
# the input has one and the profile keeps it, and lasts as long as the input
# (or the --start/--end range) within max(1 s, 2 %), as the program's own
# check of an output asks.
check_output() { # INPUT OUTPUT
    local in_types out_types length expected
    [ -s "$2" ] || { echo "the output is missing or empty"; return; }
    out_types="$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 -- "file:$2" 2>/dev/null)" \
        || { echo "the output cannot be read"; return; }
    in_types="$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 -- "file:$1" 2>/dev/null || true)"
    if [ "$wants_video" = 1 ] && grep -qx video <<<"$in_types" && ! grep -qx video <<<"$out_types"; then
        echo "the output has no video stream"; return
    fi
    if [ "$wants_audio" = 1 ] && grep -qx audio <<<"$in_types" && ! grep -qx audio <<<"$out_types"; then
        echo "the output has no audio stream"; return
    fi
    length="$(ffprobe -v error -show_entries format=duration -of csv=p=0 -- "file:$1" 2>/dev/null || true)"
    [[ "$length" =~ ^[0-9.]+$ ]] || return 0
    expected="$(awk -v l="$length" -v s="$(seconds "${start:-0}")" -v e="$(seconds "${end:-0}")" \
        'BEGIN { if (e > 0 && e < l) l = e; print l - s }')"
    length="$(ffprobe -v error -show_entries format=duration -of csv=p=0 -- "file:$2" 2>/dev/null || true)"
    awk -v a="${length:-x}" -v x="$expected" 'BEGIN {
        t = 0.02 * x; if (t < 1) t = 1
        if (a !~ /^[0-9.]+$/) { printf "the output'"'"'s length cannot be read (%.1f s expected)\n", x; exit }
        if (a - x > t || x - a > t) printf "the output lasts %.1f s instead of %.1f s\n", a, x }'
}
