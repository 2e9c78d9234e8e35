#!/usr/bin/env bash
# Runs a Windows test executable at another DPI: in a throwaway copy of the Wine prefix whose
# LogPixels says that DPI, on an Xvfb screen of its own of the given size, and fails unless its
# tests ran and passed. Usage: at_dpi.sh <dpi> <width>x<height> <test.exe> [gtest arguments...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
dpi="$1"
screen="$2"
exe="$3"
shift 3
work="$(mktemp -d)"
for n in $(seq 130 170); do
    [ -e "/tmp/.X$n-lock" ] || { display=$n; break; }
done
Xvfb ":$display" -nolisten tcp -screen 0 "${screen}x24" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
cleanup() {
    WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=":$display"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
cp -a "$WINEPREFIX" "$work/prefix"
export WINEPREFIX="$work/prefix"
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
# The DPI is read when the Wine session starts.
wineserver -k >/dev/null 2>&1 || true
wineserver -w
wine "$exe" "$@" --gtest_output="xml:$(winepath -w "$work/result.xml")"
[[ -f "$work/result.xml" ]] || { echo "no test result"; exit 1; }
grep -q '<testsuites tests="[1-9][0-9]*" failures="0" disabled="0" errors="0"' "$work/result.xml" ||
    { cat "$work/result.xml"; exit 1; }
