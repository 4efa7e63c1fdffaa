#!/usr/bin/env bash
# Set-up on a fresh Debian 12 machine, as root:
#   bash scripts/setup.sh run    install what is missing, build, start Kalibron-01
#   bash scripts/setup.sh test [BUILD_TYPE]
#                                install what is missing, build, run every test;
#                                BUILD_TYPE Debug or Release builds in build-debug
#                                or build-release (default RelWithDebInfo in build)
#   bash scripts/setup.sh deps [PACKAGE ...]
#                                install what is missing only (and the packages named)
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
    build-essential cmake ninja-build git pkg-config
    qt6-base-dev qt6-svg-dev libgl-dev libeigen3-dev libgtest-dev libgmock-dev libbenchmark-dev libboost-dev
    xvfb xauth fonts-dejavu-core python3 desktop-file-utils python3-numpy python3-scipy
    nlohmann-json3-dev
)

install_deps() {
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "Installing: ${missing[*]}"
        apt-get update
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

# build DIR [BUILD_TYPE]: warnings are errors here (KALIBRON_WERROR), unlike a
# plain cmake configure.
build() {
    local dir=${1:-build} type=${2:-RelWithDebInfo}
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DKALIBRON_WERROR=ON
    cmake --build "$dir" --parallel "$(nproc)"
}

case "${1:-}" in
    deps)
        shift
        install_deps "$@"
        ;;
    run)
        install_deps
        build build
        if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
            echo "No display: starting Kalibron-01 on a virtual X server (xvfb-run)."
            exec xvfb-run -a ./build/bin/Kalibron-01
        fi
        exec ./build/bin/Kalibron-01
        ;;
    test)
        type=${2:-RelWithDebInfo}
        case "$type" in
            RelWithDebInfo) dir=build ;;
            Debug) dir=build-debug ;;
            Release) dir=build-release ;;
            *) echo "build type: RelWithDebInfo, Debug or Release" >&2; exit 2 ;;
        esac
        install_deps
        build "$dir" "$type"
        cd "$dir"
        LC_ALL=C TZ=UTC QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j "$(nproc)"
        ;;
    *)
        echo "usage: bash scripts/setup.sh run|test [BUILD_TYPE]|deps [PACKAGE ...]" >&2
        exit 2
        ;;
esac
