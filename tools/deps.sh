#!/usr/bin/env bash
# Installs the Debian packages needed to build Quillon, run it under Wine and run its tests.
# Idempotent: only missing packages are installed, and apt-get update runs only then.
#
#   tools/deps.sh           install what is missing (through sudo when not root)
#   tools/deps.sh --check   only report: list missing packages, exit 1 if any
set -euo pipefail

packages=(
    cmake make g++
    libgtest-dev                                   # GoogleTest (find_package(GTest))
    clang-14 libclang-rt-14-dev                    # sanitizer build and libFuzzer (make sanitize/fuzz)
    g++-mingw-w64-i686 g++-mingw-w64-x86-64        # the Windows builds, 32- and 64-bit
    wine wine64 wine32:i386                        # wine32 runs the 32-bit program
    fonts-wine                                     # Wine's Tahoma, Marlett, ... (a Recommends of wine)
    fonts-wqy-microhei                             # Chinese glyphs, linked to the Windows UI fonts
    xvfb xauth x11-utils xdotool imagemagick       # virtual display, input, screenshots
    python3                                        # end-to-end test harness
    zip                                            # the release zip (tools/dist.sh)
)

missing=()
# One dpkg-query for all: a package counts as present only when fully installed.
status=$(dpkg-query -W -f='${Package}:${Architecture} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null || true)
native=$(dpkg --print-architecture)
for p in "${packages[@]}"; do
    name=${p%%:*}
    arch=${p#*:}
    [[ $arch == "$p" ]] && arch=""
    found=0
    while read -r pa st; do
        [[ -z $pa ]] && continue
        pname=${pa%%:*}
        parch=${pa#*:}
        [[ $pname == "$name" ]] || continue
        # Without an explicit architecture, the native one or "all" will do.
        if [[ -n $arch ]]; then
            [[ $parch == "$arch" ]] || continue
        else
            [[ $parch == "$native" || $parch == all ]] || continue
        fi
        [[ $st == ii* ]] && found=1
    done <<<"$status"
    ((found)) || missing+=("$p")
done

need_i386=0
for p in "${missing[@]}"; do
    [[ $p == *:i386 ]] && need_i386=1
done
if ((need_i386)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
    add_arch=1
else
    add_arch=0
fi

if [[ ${1:-} == --check ]]; then
    if ((${#missing[@]})); then
        echo "missing: ${missing[*]}"
        exit 1
    fi
    exit 0
fi

((${#missing[@]})) || exit 0

SUDO=()
if ((EUID != 0)); then
    if command -v sudo >/dev/null; then
        SUDO=(sudo)
    else
        echo "deps.sh: need root (or sudo) to install: ${missing[*]}" >&2
        exit 1
    fi
fi

echo "deps.sh: installing ${missing[*]}"
if ((add_arch)); then
    "${SUDO[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o Dpkg::Use-Pty=0 "${missing[@]}"
