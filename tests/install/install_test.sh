#!/usr/bin/env bash
# cmake --install into a temporary prefix, made read-only, then used by an
# unprivileged user whose HOME and XDG_CONFIG_HOME are a temporary folder:
# the installed layout, the profiles and preferences (installedfolder_tests),
# and a batch conversion by the installed program.
#
# install_test.sh BUILD_DIR INSTALLED_FOLDER_TESTS FFMPEG FFPROBE
set -euo pipefail
build="$1"
folder_tests="$2"
ffmpeg="$3"
ffprobe="$4"

fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$(id -u)" -eq 0 ]; then
  user=nobody
  group=$(id -gn nobody)
else
  user=""
fi

work=$(mktemp -d)
cleanup() { chmod -R u+w "$work" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
chmod 755 "$work"
prefix="$work/prefix"
program="$prefix/lib/vantorix"

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

# The layout.
for f in vantorix Vantorix.html Vantorix-help/start.png "Profiles/MP4 H.264 AAC.apf"; do
  [ -f "$program/$f" ] || fail "missing $program/$f"
done
[ -L "$program/wmaspi.dll" ] || fail "wmaspi.dll is not a link"
[ "$(readlink "$program/wmaspi.dll")" = "$ffmpeg" ] || fail "wmaspi.dll points at $(readlink "$program/wmaspi.dll")"
[ "$(readlink -f "$prefix/bin/vantorix")" = "$(readlink -f "$program/vantorix")" ] || fail "bin/vantorix does not lead to the program"
case "$(readlink "$prefix/bin/vantorix")" in /*) fail "bin/vantorix is an absolute link";; esac
[ "$(ls "$program/Profiles" | wc -l)" -eq "$(ls "$build/bin/Profiles" | wc -l)" ] || fail "not every profile was installed"
desktop="$prefix/share/applications/vantorix.desktop"
[ -f "$desktop" ] || fail "no .desktop entry"
grep -q '^Exec=vantorix %F$' "$desktop" || fail ".desktop Exec"
grep -q '^Icon=vantorix$' "$desktop" || fail ".desktop Icon"
# The input types .avi .mpg .mpeg .vob .mp4 .wmv .mov .asf, as shared-mime-info names them.
for mime in video/x-msvideo video/mpeg video/mp4 video/x-ms-wmv video/quicktime application/vnd.ms-asf; do
  grep -q "^MimeType=.*$mime;" "$desktop" || fail ".desktop lacks $mime"
done
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop" || fail "desktop-file-validate"; fi
[ -f "$prefix/share/icons/hicolor/256x256/apps/vantorix.png" ] || fail "no 256x256 icon"
[ -f "$prefix/share/icons/hicolor/scalable/apps/vantorix.svg" ] || fail "no scalable icon"

# Read-only for everybody but root.
chmod -R a-w,a+rX "$prefix"
snapshot=$(find "$program" -printf '%p %s %T@\n' | sort)

home="$work/home"
out="$work/out"
in="$work/in"
mkdir -p "$home" "$out" "$in"
cp "$folder_tests" "$work/installedfolder_tests"
"$ffmpeg" -hide_banner -loglevel error -f lavfi -i testsrc=duration=2:size=160x120:rate=10 \
  -f lavfi -i sine=duration=2 -shortest -c:v mpeg4 -c:a mp2 "$in/clip.avi"
chmod -R a+rX "$in" "$work/installedfolder_tests"
if [ -n "$user" ]; then chown -R "$user:$group" "$home" "$out"; fi

# Runs a command as the unprivileged user with a clean environment.
as_user() {
  local run=()
  if [ -n "$user" ]; then run=(setpriv --reuid="$user" --regid="$group" --clear-groups); fi
  "${run[@]}" env -i PATH="$PATH" HOME="$home" XDG_CONFIG_HOME="$home/.config" LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen "$@"
}

as_user test ! -w "$program" || fail "the program folder is writable for the test user"

# Profiles and preferences against the installed folder.
as_user env VANTORIX_INSTALLED_FOLDER="$program/" "$work/installedfolder_tests" --gtest_brief=1 \
  || fail "installedfolder_tests"
rm -rf "$home/.config"

# A conversion by the installed program in its batch mode, started through
# bin/vantorix, with a profile of the user's own beside the shipped ones.
mkdir -p "$home/.config/Vantorix/Profiles"
cp "$program/Profiles/MP4 H.264 AAC.apf" "$home/.config/Vantorix/Profiles/My MP4.apf"
if [ -n "$user" ]; then chown -R "$user:$group" "$home/.config"; fi
as_user "$prefix/bin/vantorix" --batch --list-profiles >"$work/list.log" 2>&1 || { cat "$work/list.log"; fail "--list-profiles"; }
grep -qx 'My MP4' "$work/list.log" || { cat "$work/list.log"; fail "the user's profile is not listed"; }
grep -qx 'MP4 H.264 AAC' "$work/list.log" || { cat "$work/list.log"; fail "a shipped profile is not listed"; }
as_user timeout 120 "$prefix/bin/vantorix" --batch --profile "My MP4" --output "$out" "$in/clip.avi" \
  >"$work/run.log" 2>&1 || { cat "$work/run.log"; fail "batch run"; }
[ ! -e "$home/.config/Vantorix/Preferences.ini" ] || fail "the batch mode wrote Preferences.ini"
[ -f "$out/clip.mp4" ] || { cat "$work/run.log"; fail "no output file"; }
codec=$("$ffprobe" -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 "$out/clip.mp4")
[ "$codec" = "h264" ] || fail "output video codec is '$codec'"
[ "$(find "$program" -printf '%p %s %T@\n' | sort)" = "$snapshot" ] || fail "the program folder changed"

echo "install test passed"
