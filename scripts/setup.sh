#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (once; quick when
# they are already there). With --windows: what the Windows build and its tests
# need instead, the mingw-w64 cross compiler (posix thread model), wine, and
# clang with lld, which build a test host in Microsoft's C++ ABI.
# Eigen, nlohmann/json and xxHash are header-only and compiled into the library;
# libnifti2 (NIfTI images) is linked by the stand-in host and the study tool only.
# With --fuzz: what the libFuzzer targets need (scripts/fuzz.sh), clang and its
# fuzzer and sanitizer runtimes.
set -euo pipefail

packages=(cmake g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
  duktape-dev libeigen3-dev nlohmann-json3-dev libxxhash-dev libpng-dev
  libnifti2-dev libniftiio-dev libznz-dev zlib1g-dev)
windows=false
if [[ ${1:-} == --windows ]]; then
  windows=true
  packages=(cmake make duktape-dev g++-mingw-w64-x86-64-posix wine wine64 clang lld
    libeigen3-dev nlohmann-json3-dev libxxhash-dev)
elif [[ ${1:-} == --fuzz ]]; then
  packages=(cmake make clang libclang-rt-14-dev libeigen3-dev nlohmann-json3-dev libxxhash-dev)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
# node runs the GUI script's unit tests; any node will do, else Debian's.
[[ ${1:-} == --fuzz ]] || command -v node >/dev/null 2>&1 || missing+=(nodejs)
# Headless Chromium renders the QC report in its render check; any chromium will do.
if ! $windows && [[ ${1:-} != --fuzz ]] && ! command -v chromium >/dev/null 2>&1; then missing+=(chromium); fi
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: please install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
