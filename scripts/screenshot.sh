#!/bin/sh
# Starts Orvista on a virtual X server (xvfb-run) with the sample layers open and saves a
# picture of its window to docs/screenshot.png. Builds the release configuration first unless
# ORVISTA names a program that is already built.
set -eu
cd "$(dirname "$0")/.."

program=${ORVISTA:-build/release/bin/orvista}
if [ -z "${ORVISTA:-}" ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release -j 2 --target orvista
fi
for tool in xvfb-run import; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "error: $tool is missing (packages xvfb and imagemagick)" >&2
        exit 1
    fi
done

mkdir -p docs
# The program runs with a settings folder of its own so that the user's recent files stay as
# they are.
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
XDG_CONFIG_HOME="$settings" xvfb-run -a -s "-screen 0 1100x760x24" sh -c '
    "$0" data/samples/*.shp &
    pid=$!
    sleep "${SCREENSHOT_DELAY:-4}"
    import -window root -crop 1000x700+0+0 +repage docs/screenshot.png
    kill "$pid"
' "$program"
echo "Saved docs/screenshot.png"
