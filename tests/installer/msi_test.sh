#!/usr/bin/env bash
# The MSI under Wine's msiexec, in a throwaway copy of the project's prefix: an earlier version,
# signed with a throwaway certificate, installed silently with the desk's settings as properties
# (the files, the shortcut, the logon task, the event source, the machine's settings); the
# current version over it as a major upgrade (one product left, the settings kept); then removed,
# with its task and settings.
# Wine's msiexec puts the shortcut in the user's Start menu rather than all users'.
# Usage: msi_test.sh <release build folder> <installer folder>
build="$(realpath "$1")"
installer="$(realpath "$2")"
unset DISPLAY
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

version=$(sed -n 's/^#define QUORVA_VERSION "\(.*\)"$/\1/p' "$build/generated/quorva_version.h")
msi="$build/quorva-$version.msi"
[[ -f "$msi" ]] || fail "no $msi"

export WINEPREFIX="$work/prefix"
cp -a --reflink=auto "$QUORVA_BUILD/wineprefix" "$WINEPREFIX"
extra_cleanup='wineserver -k 2>/dev/null'
wineserver -p
wine cmd /c exit

drive="$WINEPREFIX/drive_c"
program_folder="$drive/Program Files/Quorva"
task="$drive/windows/system32/tasks/Quorva"
policy_key='HKLM\SOFTWARE\Policies\Zentor\Quorva'
products='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
policy_value() {
    wine reg query "$policy_key" /v "$1" 2>/dev/null | sed -n "s/^ *$1 *REG_SZ *//p" | tr -d '\r'
}
quorva_products() { wine reg query "$products" /s /v DisplayName 2>/dev/null | grep -c 'REG_SZ *Quorva' || true; }

mkdir -p "$work/earlier"
printf '#define QUORVA_VERSION "0.0.9"\n#define QUORVA_VERSION_NUMBERS 0,0,9,0\n' \
    >"$work/earlier/quorva_version.h"
{ cat "$build/quorva.exe"; printf 'x'; } >"$work/earlier/quorva.exe"
make_signing_certificate
bash "$installer/msi" "$work/earlier/quorva.exe" "$work/earlier/quorva_version.h" "$work/earlier" ||
    fail "the earlier MSI was not built"
unset QUORVA_SIGN_CERT QUORVA_SIGN_PASSWORD
check_signed "$work/earlier/quorva-0.0.9.msi"

# ---- The earlier version, with the desk's settings.
wine msiexec /i "$(winepath -w "$work/earlier/quorva-0.0.9.msi")" /qn SITE=POSTE \
    'URL=http://127.0.0.1:9/KelbBin/Kelb.dll/' || fail "the earlier MSI failed"
cmp -s "$program_folder/quorva.exe" "$work/earlier/quorva.exe" || fail "quorva.exe not installed"
find "$drive" -name Quorva.lnk | grep -q . || fail "no Start-menu shortcut"
[[ -f "$task" ]] || fail "no logon task"
[[ "$(policy_value NomSite)" == POSTE ]] || fail "SITE not kept for the machine"
[[ "$(policy_value NomURL)" == 'http://127.0.0.1:9/KelbBin/Kelb.dll/' ]] || fail "URL not kept"
wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Quorva' \
    /v EventMessageFile >/dev/null 2>&1 || fail "the event source is not registered"

# ---- The current version over it: one product, the new quorva.exe. (Wine's msiexec removes the
# earlier product without UPGRADINGPRODUCTCODE, so the machine's settings, which Windows keeps
# across a major upgrade, are not checked here.)
wine msiexec /i "$(winepath -w "$msi")" /qn || fail "the MSI upgrade failed"
cmp -s "$program_folder/quorva.exe" "$build/quorva.exe" || fail "the upgrade kept the old quorva.exe"
[[ "$(quorva_products)" == 1 ]] || fail "the upgrade left $(quorva_products) products installed"
[[ -f "$task" ]] || fail "the upgrade lost the logon task"

# ---- Removed: the program, the task and the machine's settings.
wine msiexec /x "$(winepath -w "$msi")" /qn || fail "the MSI removal failed"
[[ ! -e "$program_folder/quorva.exe" ]] || fail "quorva.exe is still there"
[[ ! -e "$task" ]] || fail "the logon task is still there"
wine reg query "$policy_key" >/dev/null 2>&1 && fail "the machine's settings are still there"
[[ "$(quorva_products)" == 0 ]] || fail "Quorva is still listed as installed"
echo "msi $version: install, upgrade and removal passed"
