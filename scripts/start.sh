#!/bin/sh
# Builds the release configuration and starts Orvista with the sample layers open. Without a
# display ($DISPLAY and $WAYLAND_DISPLAY unset) it runs the built-in regression suite headless
# instead.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-dependencies.sh
cmake --preset release
cmake --build --preset release -j 2

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display is available (DISPLAY and WAYLAND_DISPLAY are unset): running the" \
         "regression suite headless instead of Orvista."
    if [ -x build/release/bin/arealis ]; then
        exec build/release/bin/arealis regression data/regression
    fi
    echo "The regression suite is not available: build/release/bin/arealis has not been built." >&2
    exit 1
fi

if [ ! -x build/release/bin/orvista ]; then
    echo "error: build/release/bin/orvista was not built (Qt 6 Widgets missing?)" >&2
    exit 1
fi
set --
for layer in data/samples/*.shp; do
    if [ -f "$layer" ]; then
        set -- "$@" "$layer"
    fi
done
exec build/release/bin/orvista "$@"
