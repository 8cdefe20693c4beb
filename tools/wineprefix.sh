#!/usr/bin/env bash
# Creates and prepares the project's Wine prefix (build/wineprefix, or $WINEPREFIX):
#  - wineboot without the Mono/Gecko install prompts and without menu/desktop-file creation;
#  - Chinese text in the UI: Wine's Tahoma (fonts-wine) is put into C:\windows\Fonts, and the UI
#    fonts (Tahoma, MS Shell Dlg, ...) fall back to WenQuanYi Micro Hei (fonts-wqy-microhei,
#    found by Wine through fontconfig) for glyphs they lack; Chinese font names (SimSun, 宋体,
#    Microsoft YaHei, ...) are replaced by it;
#  - no crash dialog: a crashing program is ended with a backtrace on stderr.
# Idempotent: a stamp in the prefix records the version of this script and of Wine; with both
# unchanged the script returns at once. Runs under a private Xvfb when DISPLAY is not set.
#
#   tools/wineprefix.sh [--force]
set -euo pipefail
# shellcheck source=tools/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

WINEPREFIX=$(quillon_prefix)
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
# Empty = disabled: no Mono/Gecko download prompts, no .desktop files and menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

stamp_file=$WINEPREFIX/.quillon-prefix-stamp
stamp="$(cat "${BASH_SOURCE[0]}" "$QUILLON_ROOT/tools/lib.sh" | sha256sum | cut -c1-16) $(wine --version)"

is_ready() {
    [[ -f $WINEPREFIX/system.reg && -f $stamp_file && $(cat "$stamp_file") == "$stamp" ]]
}

force=0
[[ ${1:-} == --force ]] && force=1
if ((!force)) && is_ready; then
    exit 0
fi

mkdir -p "$(dirname "$WINEPREFIX")"
# Several callers (run.sh, the test harness, a CI warm-up) may get here at once: go on under a
# lock. flock -o: the lock is not inherited by wineserver and Xvfb, which outlive this script.
if [[ -z ${QUILLON_PREFIX_LOCKED:-} ]]; then
    QUILLON_PREFIX_LOCKED=1 exec flock -o "$WINEPREFIX.lock" "${BASH_SOURCE[0]}" "$@"
fi
if ((!force)) && is_ready; then
    exit 0
fi

start_ms=$(($(date +%s%N) / 1000000))
own_xvfb=0
if [[ -z ${DISPLAY:-} ]]; then
    start_xvfb 1024x768x24
    own_xvfb=1
fi
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    ((own_xvfb)) && stop_xvfb
    return 0
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP PIPE

if [[ ! -f $WINEPREFIX/system.reg ]]; then
    wineboot -i >/dev/null 2>&1
fi

# Wine's own fonts: only the outline ones. Its bitmap fonts (*.fon, and the bitmap-only
# "TrueType" files such as ms_sans_serif.ttf and system.ttf, which Wine skips anyway) cannot
# fall back to another font for Chinese glyphs; without them Wine maps "MS Sans Serif" and
# "System" to outline fonts, which can.
fonts_dir=$WINEPREFIX/drive_c/windows/Fonts
mkdir -p "$fonts_dir"
for f in tahoma.ttf tahomabd.ttf marlett.ttf symbol.ttf webdings.ttf wingding.ttf; do
    if [[ -f /usr/share/wine/fonts/$f ]]; then
        ln -sfn "/usr/share/wine/fonts/$f" "$fonts_dir/$f"
    fi
done

# REG_MULTI_SZ for a font link: "file,face" in UTF-16LE, as hex(7).
multi_sz() {
    local s
    s=$(printf '%s' "$1" | iconv -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',')
    s=${s#,}
    s=${s%,}
    echo "hex(7):$s,00,00,00,00"
}
wqy=$(multi_sz "wqy-microhei.ttc,WenQuanYi Micro Hei")

links=""
for face in "Tahoma" "Tahoma Bold" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "MS Sans Serif" \
    "Segoe UI" "Lucida Sans Unicode" "Arial" "Courier New" "System" "DejaVu Sans" "DejaVu Serif" \
    "DejaVu Sans Mono"; do
    links+="\"$face\"=$wqy"$'\n'
done

replacements=""
for face in "SimSun" "NSimSun" "宋体" "新宋体" "SimHei" "黑体" "Microsoft YaHei" "Microsoft YaHei UI" \
    "微软雅黑" "KaiTi" "楷体" "FangSong" "仿宋"; do
    replacements+="\"$face\"=\"WenQuanYi Micro Hei\""$'\n'
done

import_reg <<EOF
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]
$links
[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
$replacements
[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"mscoree"=""
"mshtml"=""
"winemenubuilder.exe"=""

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\RunServices]
"winemenubuilder"=-
EOF

# wineserver -k writes the registry to disk before it exits.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
echo "$stamp" >"$stamp_file"
ms=$(($(date +%s%N) / 1000000 - start_ms))
printf "wineprefix.sh: prepared %s in %d.%d s\n" "$WINEPREFIX" $((ms / 1000)) $((ms % 1000 / 100)) >&2
