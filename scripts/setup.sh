#!/usr/bin/env bash
# Installs whatever a fresh machine lacks, then builds and installs pyvorn
# (the _pyvorn extension and the pyvorn package) into the current Python.
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON=${PYTHON:-python3}
export PIP_ROOT_USER_ACTION=ignore PIP_DISABLE_PIP_VERSION_CHECK=1

debian_packages=(g++ make rapidjson-dev libsimdjson-dev libgtest-dev libssl-dev graphviz clang libclang-rt-14-dev)
missing=()
for package in "${debian_packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "==> installing Debian packages: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

echo "==> installing Python build and test tools"
"$PYTHON" -m pip install --quiet cmake ninja "scikit-build-core>=0.8" pytest pytest-xdist hypothesis \
  "mypy>=1.16" msgpack jsonpath-ng

# With PYVORN_WITH_TESTS=1 (scripts/test.sh) the wheel is built in build/cpp
# together with the C++ suites, so the libraries and the extension are
# compiled once for both; otherwise in the wheel's own build/wheel.
config=()
if [ "${PYVORN_WITH_TESTS:-0}" = 1 ]; then
  config=(-Cbuild-dir=build/cpp -Ccmake.define.PYVORN_BUILD_TESTS=ON)
fi
echo "==> building and installing pyvorn"
# Two cores here: ninja's default of cores + 2 jobs only makes them thrash.
CMAKE_BUILD_PARALLEL_LEVEL=${PYVORN_JOBS:-2} \
  "$PYTHON" -m pip install --quiet --no-build-isolation "${config[@]}" .
