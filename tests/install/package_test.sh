#!/usr/bin/env bash
# The Debian package as a user gets it: packed by CPack from this build,
# installed with apt-get, used by an unprivileged user (the version and one
# conversion), then purged. Needs root; skipped (77) without it, when a
# vantorix package is already installed (it is left alone), or when the
# package would pull in more packages than itself: the system ends as it was.
#
# package_test.sh BUILD_DIR FFMPEG FFPROBE
set -euo pipefail
build="$1"
ffmpeg="$2"
ffprobe="$3"

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in apt-get dpkg dpkg-deb cpack dpkg-shlibdeps setpriv; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
if dpkg-query -W -f='${Status}' vantorix 2>/dev/null | grep -q 'installed'; then
  skip "a vantorix package is installed already"
fi

work=$(mktemp -d)
installed=no
cleanup() {
  if [ "$installed" = yes ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q -o DPkg::Lock::Timeout=300 vantorix >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

# The package and its file name.
(cd "$build" && cpack -G DEB -B "$work/package") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$work/package/vantorix_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$work/package"; fail "no $(basename "$deb")"; }
chmod 644 "$deb"

# Depends: what dpkg-shlibdeps found and what the program starts or loads.
depends=$(dpkg-deb -f "$deb" Depends)
for dep in ffmpeg gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav libqt6widgets6 libc6; do
  echo "$depends" | tr ',' '\n' | grep -q "^ *$dep\( \|$\)" || fail "Depends lacks $dep: $depends"
done

# The contents, as cmake --install places them under /usr.
dpkg-deb -c "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }' >"$work/contents"
for entry in "./usr/lib/vantorix/vantorix" "./usr/bin/vantorix -> ../lib/vantorix/vantorix" \
             "./usr/lib/vantorix/wmaspi.dll -> $ffmpeg" "./usr/lib/vantorix/Vantorix.html" \
             "./usr/lib/vantorix/Profiles/listed-last.txt" "./usr/share/applications/vantorix.desktop" \
             "./usr/share/icons/hicolor/256x256/apps/vantorix.png" \
             "./usr/share/icons/hicolor/scalable/apps/vantorix.svg"; do
  grep -qxF "$entry" "$work/contents" || { cat "$work/contents"; fail "the package lacks $entry"; }
done
shipped=$(find "$build/bin/Profiles" -name '*.apf' | wc -l)
[ "$(grep -c '^\./usr/lib/vantorix/Profiles/.*\.apf$' "$work/contents")" -eq "$shipped" ] \
  || fail "not every profile is in the package"

# Nothing but the package itself may come onto the system.
apt-get install -s -q -o DPkg::Lock::Timeout=300 "$deb" >"$work/simulate.log" 2>&1 \
  || { cat "$work/simulate.log"; fail "apt-get cannot install the package"; }
others=$(sed -n 's/^Inst \([^ ]*\).*/\1/p' "$work/simulate.log" | grep -vx vantorix || true)
[ -z "$others" ] || skip "installing the package would also install: $(echo $others)"

# The packages that are installed (or half so), with their versions.
state() { dpkg-query -W -f='${Status}|${Package} ${Version}\n' | grep -v '|.*not-installed\|^[^|]*not-installed|' | sort; }
before=$(state)

installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o DPkg::Lock::Timeout=300 "$deb" >"$work/install.log" 2>&1 \
  || { cat "$work/install.log"; fail "apt-get install"; }
dpkg-query -W -f='${Status}' vantorix | grep -q 'install ok installed' || fail "vantorix is not installed"

# The installed program, started from the PATH by an unprivileged user.
user=nobody
group=$(id -gn nobody)
home="$work/home"
in="$work/in"
out="$work/out"
mkdir -p "$home" "$in" "$out"
"$ffmpeg" -hide_banner -loglevel error -f lavfi -i testsrc=duration=2:size=160x120:rate=10 \
  -f lavfi -i sine=duration=2 -shortest -c:v mpeg4 -c:a mp2 "$in/clip.avi"
chown -R "$user:$group" "$home" "$out"
chmod -R a+rX "$in"
as_user() {
  setpriv --reuid="$user" --regid="$group" --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/.config" LANG=C.UTF-8 "$@"
}

as_user vantorix --batch --version >"$work/version.log" 2>&1 || { cat "$work/version.log"; fail "--version"; }
grep -qx "Vantorix [0-9.]*" "$work/version.log" || { cat "$work/version.log"; fail "--version printed something else"; }
as_user timeout 120 vantorix --batch --profile "MP4 H.264 AAC" --output "$out" "$in/clip.avi" >"$work/run.log" 2>&1 \
  || { cat "$work/run.log"; fail "the conversion"; }
codec=$("$ffprobe" -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 "$out/clip.mp4")
[ "$codec" = "h264" ] || { cat "$work/run.log"; fail "output video codec is '$codec'"; }

# Removed: no file of it is left, and the packages are as they were.
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q -o DPkg::Lock::Timeout=300 vantorix >"$work/purge.log" 2>&1 \
  || { cat "$work/purge.log"; fail "apt-get purge"; }
installed=no
for path in /usr/lib/vantorix /usr/bin/vantorix /usr/share/applications/vantorix.desktop \
            /usr/share/icons/hicolor/256x256/apps/vantorix.png; do
  [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$path is left after the purge"
done
[ "$(state)" = "$before" ] || { diff <(echo "$before") <(state) || true; fail "the installed packages changed"; }

echo "package test passed: $(basename "$deb"), Depends: $depends"
