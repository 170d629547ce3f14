#!/bin/sh
# Installs the Debian 12 packages that building, running and testing need. Packages already
# present are left alone, so the script also works for a user without root on a prepared machine.
set -eu

PACKAGES="build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev xvfb xauth imagemagick
  libgeos-dev libboost-dev nlohmann-json3-dev libcli11-dev
  python3 python3-shapely python3-pyshp
  clang libclang-rt-14-dev gnuplot-nox
  libgdal-dev gdal-bin pybind11-dev python3-pybind11 python3-numpy
  python3-geopandas python3-rtree python3-pytest python3-dask python3-distributed
  postgresql postgresql-15-postgis-3"

missing=""
for package in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    if [ "$(id -u)" -ne 0 ]; then
        echo "error: these packages are missing and installing them needs root:$missing" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing
fi
