#!/usr/bin/env bash
# Packs the release zip from the two Windows programs that `make windows` built:
#
#   quillon-<version>-win32.zip
#     quillon.exe       the 32-bit program, the one for everyone
#     x64/quillon.exe   the same program for 64-bit Windows
#     README.txt        the users' README (Chinese, then English), UTF-8 with BOM, CRLF
#     LICENSE.txt       the licence, CRLF
#
# The zip comes out the same byte for byte from the same programs and the same commit: the
# entries go in a fixed order, without directory entries, owner ids or extended times, with
# fixed permissions and all stamped with one time (SOURCE_DATE_EPOCH, else the last commit's
# time, in UTC). Entry names are relative to the zip's root; no build path gets in.
#
#   tools/dist.sh [--dist DIR] [--out FILE]
#
#   --dist DIR   where quillon.exe and x64/quillon.exe are (default: dist/)
#   --out FILE   the zip to write (default: DIR/quillon-<version>-win32.zip)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() {
    sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'
    exit 2
}

dist=$root/dist out=""
while (($#)); do
    case $1 in
    --dist) dist=${2:?}; shift 2 ;;
    --out) out=${2:?}; shift 2 ;;
    -h | --help) usage ;;
    *) echo "dist.sh: unknown argument: $1" >&2; usage ;;
    esac
done

version=$(head -n1 "$root/VERSION" | tr -d '\r')
if [[ ! $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    echo "dist.sh: VERSION must hold MAJOR.MINOR.PATCH, not '$version'" >&2
    exit 1
fi
for exe in quillon.exe x64/quillon.exe; do
    if [[ ! -f $dist/$exe ]]; then
        echo "dist.sh: $dist/$exe is missing (build it with make windows)" >&2
        exit 1
    fi
done
command -v zip >/dev/null || { echo "dist.sh: zip is not installed (tools/deps.sh)" >&2; exit 1; }

[[ -n $out ]] || out=$dist/quillon-$version-win32.zip
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

if [[ -n ${SOURCE_DATE_EPOCH:-} ]]; then
    stamp=$SOURCE_DATE_EPOCH
elif ! stamp=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || [[ -z $stamp ]]; then
    stamp=$(date -u -d 2026-01-01 +%s) # not a checkout: a fixed time all the same
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/x64"
cp "$dist/quillon.exe" "$stage/quillon.exe"
cp "$dist/x64/quillon.exe" "$stage/x64/quillon.exe"

# Text for Notepad: CRLF line ends; the README also a UTF-8 byte order mark, or older Notepads
# read its Chinese in the ANSI code page.
crlf() { sed 's/\r$//; s/$/\r/'; }
{
    printf '\xef\xbb\xbf'
    sed "s/@VERSION@/$version/g" "$root/packaging/README.txt" | crlf
} >"$stage/README.txt"
crlf <"$root/LICENSE" >"$stage/LICENSE.txt"

files=(quillon.exe x64/quillon.exe README.txt LICENSE.txt)
chmod 644 "${files[@]/#/$stage/}"
TZ=UTC touch -d "@$stamp" "${files[@]/#/$stage/}"

# Into a temporary name first, so that a failed run leaves no half-written zip behind.
rm -f "$out.tmp"
(cd "$stage" && TZ=UTC zip -q -X -D -9 "$out.tmp" "${files[@]}")
mv -f "$out.tmp" "$out"
echo "dist.sh: ${out#"$root"/}"
