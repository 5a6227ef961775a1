# Shared by scripts/run and scripts/test: installs what is missing, then
# configures and builds the project in build/ (or $VANTORIX_BUILD_DIR).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VANTORIX_BUILD_DIR:-$root/build}"
jobs="${VANTORIX_JOBS:-2}"

bash "$root/scripts/install-deps"

configure_and_build() {
  cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
  cmake --build "$build" -j "$jobs"
}
