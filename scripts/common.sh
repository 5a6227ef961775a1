# Shared by scripts/run and scripts/test: installs what is missing, then
# configures the project in build/ (or $VANTORIX_BUILD_DIR). Both use one
# configuration (the same folder, options and compiler flags), so whichever
# runs second builds only what the first left out.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VANTORIX_BUILD_DIR:-$root/build}"
jobs="${VANTORIX_JOBS:-2}"

bash "$root/scripts/install-deps"

# VANTORIX_BUILD_TYPE=Debug builds with assertions on (Qt's included).
configure() {
  cmake -S "$root" -B "$build" -G Ninja -DVANTORIX_WERROR=ON -DVANTORIX_BUILD_TESTS=ON \
    ${VANTORIX_BUILD_TYPE:+-DCMAKE_BUILD_TYPE=$VANTORIX_BUILD_TYPE} >/dev/null
}

# Builds the named targets, or everything.
build_targets() {
  cmake --build "$build" -j "$jobs" ${1:+--target "$@"}
}
