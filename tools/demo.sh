#!/bin/sh
# Builds the upgrade tool, lays out a demo application folder (a stand-in "Orvalis.exe",
# and an "Orvalis.ugx" in the folder "Upgrade" inside it), installs the tool there and
# starts it there.
#
#   tools/demo.sh [BUILD_FOLDER]        (default: build)
#
# With no display it runs the tool under Xvfb instead, presses OK on the start-up warning,
# saves a screenshot of the window, ends the tool and says where the picture is.
# ORVALIS_DEMO_CHOSEN=1 also clicks the upgrade file first, so the picture shows the panel.
# Needs: cmake, a C++ compiler, Qt 6 (qt6-base-dev); headless also xvfb, xauth,
# imagemagick and xdotool, and openbox for a title bar if it is installed.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$(pwd)/$build ;; esac

cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" -j2 --target orvalis-upgrade

demo=$build/demo
rm -rf "$demo"
app=$demo/Orvalis
mkdir -p "$app/Upgrade"
printf 'stand-in for the Orvalis application\n' >"$app/Orvalis.exe"
printf 'stand-in for the new version\n' >"$app/Upgrade/Orvalis.ugx"
cmake --install "$build" --prefix "$app" >/dev/null
echo "demo application folder: $app"

if [ -n "${DISPLAY:-}" ]; then
    cd "$app"
    exec ./orvalis-upgrade
fi

for tool in xvfb-run xauth import xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "no display, and $tool is missing (Debian: xvfb xauth imagemagick xdotool)" >&2
        exit 1
    fi
done

picture=$demo/screenshot.png
export ORVALIS_DEMO_APP="$app" ORVALIS_DEMO_PICTURE="$picture" ORVALIS_DEMO_CHOSEN="${ORVALIS_DEMO_CHOSEN:-0}"
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    set -eu
    wm=
    if command -v openbox >/dev/null 2>&1; then
        openbox >/dev/null 2>&1 &
        wm=$!
        sleep 1
    fi
    cd "$ORVALIS_DEMO_APP"
    ./orvalis-upgrade 2>/dev/null &
    tool=$!
    # The warning comes first; OK has the focus.
    xdotool search --sync --onlyvisible --name "Orvalis Upgrade" windowactivate --sync >/dev/null 2>&1 || true
    sleep 1
    xdotool key Return 2>/dev/null
    window=$(xdotool search --sync --onlyvisible --name "Open Upgrade File From" 2>/dev/null | head -n 1)
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    sleep 1
    if [ "$ORVALIS_DEMO_CHOSEN" = 1 ]; then
        # From the file list: Tab to the folder list, Down to "Upgrade", Enter opens it;
        # then a click on the first entry of the file list, "Orvalis.ugx".
        xdotool key Tab Down Return 2>/dev/null
        sleep 0.5
        xdotool mousemove --window "$window" 230 126 click 1 2>/dev/null
        sleep 1
    fi
    if [ -n "$wm" ]; then
        frame=$(xdotool getactivewindow 2>/dev/null || echo "$window")
        import -window "$frame" -frame "$ORVALIS_DEMO_PICTURE"
    else
        import -window "$window" "$ORVALIS_DEMO_PICTURE"
    fi
    kill "$tool"
    [ -z "$wm" ] || kill "$wm"
'
echo "screenshot: $picture"
