#!/usr/bin/env bash
# Builds the program, the engine, the services, the Win32 window toolkit and their tests as
# Windows programs with the mingw-w64 cross compiler and runs the tests under Wine, on an
# Xvfb display with a window manager; then checks that orvalis-upgrade.exe imports only
# DLLs that Windows ships and runs one upgrade with it, by the keyboard alone. Run as root
# on Debian; installs with apt-get only what is missing.
#   tools/cross-test.sh [build folder, default build-win]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${1:-build-win}"

packages=(cmake make g++-mingw-w64-x86-64-posix wine64 googletest xvfb openbox fonts-wine xdotool x11-utils)
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
# No offer to install Wine's .NET and HTML engines, which would wait for a click that never comes.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY
wine=/usr/lib/wine/wine64

# A display of our own, with a window manager: without one Wine stalls for seconds each
# time a window closes. Everything started here is stopped on the way out, failed or not.
pids=()
cleanup() {
    "${wine%/*}/wineserver" -k 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
display=
for n in $(seq 90 120); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then
        display=":$n"
        break
    fi
done
[[ -n "$display" ]] || { echo "no free X display" >&2; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)

mkdir -p "$WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1 || true # once, before parallel runs race to make it
# The prefix's registry names its fonts in its own Fonts folder ("MS Sans Serif" is
# sserife.fon there), where Debian's fonts-wine puts none: without them Wine draws the
# window's face with the system's default sans instead, which is wider.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp -u /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
# One server for the whole run: a server that is just quitting drops the program that meets it.
"${wine%/*}/wineserver" -p 2>/dev/null || true

cmake -S . -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DORVALIS_BUILD_GUI=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build_dir" -j"${JOBS:-$(nproc)}"
status=0
(cd "$build_dir" && ctest --output-on-failure -j"${JOBS:-$(nproc)}") || status=$?

exe="$build_dir/app/orvalis-upgrade.exe"
echo "== imports of $exe"
# Those loaded at their first call are not in the import table that objdump reads: their
# names are those of the delay-loading import libraries the build made.
dlls=$({ x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p'
    sed -n 's/^LIBRARY //p' "$build_dir"/delay_load/*.def; } | tr 'A-Z' 'a-z' | sort -u)
echo "$dlls" | tr '\n' ' '
echo
for dll in $dlls; do
    case "$dll" in
    kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | shell32.dll | ole32.dll | oleaut32.dll | \
        oleacc.dll | advapi32.dll | msvcrt.dll | rstrtmgr.dll) ;;
    *) echo "FAIL: $exe needs $dll, which Windows does not ship" >&2; status=1 ;;
    esac
done

echo "== one upgrade with orvalis-upgrade.exe, by the keyboard"
# The window's own keys: Enter on the warning, Space on the file, Shift+Tab back to "OK",
# Space. xdotool's --window is ignored by Wine, so each window is focused first.
wait_for() { # name pattern -> window id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) && [[ -n "$id" ]] && { echo "$id"; return; }
        sleep 0.1
    done
    return 1
}
keys() { xdotool windowfocus "$1" 2>/dev/null || true; sleep 0.3; shift; xdotool key "$@"; }
e2e() {
    local folder
    folder="$(mktemp -d)"
    install -m 755 "$exe" "$folder/orvalis-upgrade.exe"
    printf 'old executable\n' >"$folder/Orvalis.exe"
    printf 'new executable\n' >"$folder/Orvalis.ugx"
    (cd "$folder" && exec "$wine" orvalis-upgrade.exe) &
    local app=$!
    local box form
    box=$(wait_for "^Orvalis Upgrade$") || { echo "FAIL: no warning box"; return 1; }
    if xdotool search --onlyvisible --name "^Open Upgrade File From" >/dev/null 2>&1; then
        echo "FAIL: the window showed before the warning"; return 1
    fi
    keys "$box" Return
    form=$(wait_for "^Open Upgrade File From\.\.\.$") || { echo "FAIL: no window"; return 1; }
    local size
    size=$(xwininfo -id "$form" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
    echo "client area: $size"
    [[ "$size" == 407x298 ]] || { echo "FAIL: client area $size, not 407x298"; return 1; }
    keys "$form" space
    wait_for "^Open\.\.\. Orvalis\.ugx$" >/dev/null || { echo "FAIL: the file was not chosen"; return 1; }
    keys "$form" shift+Tab shift+Tab shift+Tab space
    box=$(wait_for "^Orvalis Upgrade$") || { echo "FAIL: no message after OK"; return 1; }
    keys "$box" Return
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app" 2>/dev/null; then
        echo "FAIL: the program did not end"; kill "$app"; return 1
    fi
    [[ "$(cat "$folder/Orvalis.exe")" == "new executable" && "$(cat "$folder/Orvalis.old")" == "old executable" ]] ||
        { echo "FAIL: the files were not swapped"; ls -l "$folder"; return 1; }
    rm -rf "$folder"
    echo "upgraded: Orvalis.exe holds the new contents, Orvalis.old the old"
}
e2e || status=1

echo "== the command line of orvalis-upgrade.exe, through start /wait and %ERRORLEVEL%"
# As an administrator's batch file runs it: start /wait, then the exit code from %ERRORLEVEL%.
# A box would wait for a click that never comes, so each run that ends by itself showed none.
cli() {
    local folder code fails=0
    folder="$(mktemp -d)"
    install -m 755 "$exe" "$folder/orvalis-upgrade.exe"
    printf '@echo off\r\nstart "" /wait orvalis-upgrade.exe %%*\r\necho exit=%%ERRORLEVEL%%\r\n' >"$folder/run.bat"
    layout() {
        rm -rf "$folder/saved" "$folder/Orvalis.old" "$folder/Orvalis.ugx" "$folder/log.txt"
        mkdir -p "$folder/saved"
        printf 'old executable\n' >"$folder/Orvalis.exe"
        printf 'new executable\n' >"$folder/saved/Orvalis.ugx"
    }
    expect() { # code, then the arguments
        local want=$1
        shift
        code=$(cd "$folder" && timeout 60 "$wine" cmd /c run.bat "$@" 2>/dev/null | tr -d '\r' | sed -n 's/^exit=//p')
        if [[ "$code" == "$want" ]]; then
            echo "$want: $*"
        else
            echo "FAIL: $* gave '${code}', not $want"
            fails=$((fails + 1))
        fi
    }
    layout
    expect 2 /bogus /quiet
    expect 2 /upgrade /quiet
    expect 3 /upgrade nowhere /quiet
    expect 3 /restore /quiet
    # A quiet copy of 256 MiB: long enough that a progress window would show, and none does.
    head -c $((256 << 20)) /dev/zero >"$folder/saved/Orvalis.ugx"
    rm -f "$folder.shown"
    (while :; do
        xdotool search --onlyvisible --name "Orvalis" >/dev/null 2>&1 && touch "$folder.shown"
        sleep 0.1
    done) &
    local watcher=$!
    expect 0 /UPGRADE saved /quiet /log log.txt
    kill "$watcher"
    wait "$watcher" 2>/dev/null || true
    [[ ! -e "$folder.shown" ]] || { echo "FAIL: a window showed during a /quiet run"; fails=$((fails + 1)); }
    [[ "$(cat "$folder/Orvalis.old")" == "old executable" && $(stat -c %s "$folder/Orvalis.exe") == $((256 << 20)) ]] ||
        { echo "FAIL: not upgraded"; fails=$((fails + 1)); }
    grep -q "outcome: upgraded (exit code 0)" "$folder/log.txt" || { echo "FAIL: no outcome in the log"; fails=$((fails + 1)); }
    expect 10 /upgrade saved /quiet # the same upgrade again: nothing changes
    [[ "$(cat "$folder/Orvalis.old")" == "old executable" ]] || { echo "FAIL: run again, the old version went"; fails=$((fails + 1)); }
    expect 0 -restore --quiet
    [[ "$(cat "$folder/Orvalis.exe")" == "old executable" ]] || { echo "FAIL: not put back"; fails=$((fails + 1)); }
    layout
    mkdir "$folder/Orvalis.old" # the executable cannot take that name: the step fails and is undone
    expect 7 /upgrade saved /quiet
    [[ "$(cat "$folder/Orvalis.exe")" == "old executable" && ! -e "$folder/Orvalis.ugx" ]] ||
        { echo "FAIL: the failed upgrade was not undone"; fails=$((fails + 1)); }
    layout
    rm "$folder/Orvalis.exe"
    expect 4 /upgrade saved /quiet
    # Orvalis running: a Windows program started from Orvalis.exe (this tool, showing its warning).
    layout
    install -m 755 "$exe" "$folder/Orvalis.exe"
    (cd "$folder" && exec "$wine" Orvalis.exe) &
    local orvalis=$!
    wait_for "^Orvalis Upgrade$" >/dev/null || echo "FAIL: Orvalis.exe did not start"
    expect 5 /upgrade saved /quiet
    expect 5 /restore /quiet
    [[ $(ls "$folder" | tr '\n' ' ') == "Orvalis.exe orvalis-upgrade.exe run.bat saved " ]] ||
        { echo "FAIL: touched while running: $(ls "$folder")"; fails=$((fails + 1)); }
    kill "$orvalis" 2>/dev/null
    wait "$orvalis" 2>/dev/null
    # Another upgrade running: one started without /quiet holds the folder while its box shows.
    layout
    (cd "$folder" && exec "$wine" orvalis-upgrade.exe /upgrade saved) &
    local first=$! box
    box=$(wait_for "^Orvalis Upgrade$") || echo "FAIL: no warning box without /quiet"
    keys "$box" Return
    sleep 1
    box=$(wait_for "^Orvalis Upgrade$") || echo "FAIL: no message box without /quiet"
    expect 6 /upgrade saved /quiet
    keys "$box" Return
    for _ in $(seq 100); do kill -0 "$first" 2>/dev/null || break; sleep 0.1; done
    kill "$first" 2>/dev/null || true
    [[ "$(cat "$folder/Orvalis.exe")" == "new executable" ]] ||
        { echo "FAIL: the run without /quiet did not upgrade"; fails=$((fails + 1)); }
    rm -rf "$folder"
    ((fails == 0))
}
cli || status=1
exit "$status"
