#!/usr/bin/env bash
# Runs a Windows test executable inside a Wine virtual desktop, where windows get Wine's own frame
# and title bar, and fails unless its tests ran and passed (the desktop does not pass the exit
# code on). Usage: in_virtual_desktop.sh <test.exe> [gtest arguments...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
exe="$1"
shift
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
wine explorer /desktop=QuorvaTest,1280x900 "$exe" "$@" --gtest_output="xml:$(winepath -w "$work/result.xml")"
[[ -f "$work/result.xml" ]] || { echo "no test result"; exit 1; }
grep -q '<testsuites tests="[1-9][0-9]*" failures="0" disabled="0" errors="0"' "$work/result.xml" ||
    { cat "$work/result.xml"; exit 1; }
