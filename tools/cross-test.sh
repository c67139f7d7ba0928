#!/usr/bin/env bash
# Builds the engine, the services and their tests as Windows programs with the mingw-w64
# cross compiler and runs the tests under Wine. Run as root on Debian; installs with
# apt-get only what is missing.
#   tools/cross-test.sh [build folder, default build-win]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build-win}"

packages=(cmake make g++-mingw-w64-x86-64-posix wine64 googletest)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine keeps its drives and settings here; its own folder keeps runs apart from anyone's ~/.wine.
export WINEPREFIX="$PWD/$build_dir/wine"
export WINEDEBUG=-all
# The tests are console programs: no display, and no offer to install Wine's .NET and HTML
# engines, which would wait for a click that never comes.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true # once, before parallel runs race to make it

cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DORVALIS_BUILD_GUI=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir" -j"${JOBS:-$(nproc)}"
cd "$build_dir"
status=0
ctest --output-on-failure -j"${JOBS:-$(nproc)}" || status=$?
# Wine's server lingers a few seconds after the last program; stop it so the run ends clean.
/usr/lib/wine/wineserver -k 2>/dev/null || true
exit "$status"
