#!/usr/bin/env bash
# Quillmend build entry point.
#   ./build.sh demo   build what is missing, install the pack into the stand-in IDE under Wine and run it
#   ./build.sh test   install prerequisites, build everything, run the whole test suite
#   ./build.sh bench  build and run the benchmarks
#   ./build.sh build  install prerequisites and build only
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD="$ROOT/build"
JOBS="$(nproc 2>/dev/null || echo 2)"

# Debian packages the build and the tests need. Checked one by one so that a
# machine that already has everything is not touched.
PACKAGES=(
  cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 googletest
  wine wine32:i386 xvfb xauth x11-apps xdotool imagemagick
  mono-devel mono-mcs libdnlib2.1-cil binutils fp-compiler python3
)

log() { printf '== %s\n' "$*" >&2; }

install_prerequisites() {
  local missing=()
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "adding the i386 architecture"
    dpkg --add-architecture i386
  fi
  for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    log "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

configure_and_build() {
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD" -j "$JOBS"
}

run_tests() {
  local rc=0
  "$ROOT/cmake/wine-session.sh" start "$BUILD"
  # A test that hangs is run once more: under Wine a process now and then
  # stays behind after it has printed its result (a passed test then times
  # out). A failure or a crash is never retried; a second time-out fails.
  ctest --test-dir "$BUILD" -j "$JOBS" --output-on-failure --timeout 120 --repeat after-timeout:2 || rc=$?
  "$ROOT/cmake/wine-session.sh" stop "$BUILD"
  return $rc
}

cmd="${1:-test}"
case "$cmd" in
  deps)  install_prerequisites ;;
  build) install_prerequisites; configure_and_build ;;
  test)  install_prerequisites; configure_and_build; run_tests ;;
  bench) install_prerequisites; configure_and_build; "$ROOT/Bench/run-benchmarks.sh" "$BUILD" ;;
  demo)  install_prerequisites; configure_and_build; "$ROOT/TestHost/demo/run-demo.sh" "$BUILD" ;;
  *) echo "usage: $0 {demo|test|bench|build|deps}" >&2; exit 2 ;;
esac
