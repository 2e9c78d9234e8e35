#!/usr/bin/env bash
# The MSI under Wine's msiexec, in a throwaway copy of the project's prefix: an earlier version,
# signed with a throwaway certificate, installed silently with the desk's settings as properties
# (the files, the shortcut, the logon task, the event source, the machine's settings); the
# current version over it as a major upgrade (one product left, the settings kept unless given
# anew); then removed, with its task and settings.
# Wine's msiexec puts the shortcut in the user's Start menu rather than all users'.
# Usage: msi_test.sh <release build folder> <installer folder>
installer="$(realpath "$2")"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
msi=$(built "quorva-$version.msi")

products='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
quorva_products() { wine reg query "$products" /s /v DisplayName 2>/dev/null | grep -c 'REG_SZ *Quorva' || true; }

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
[[ "$(registry_value NomSite "$policy_key")" == POSTE ]] || fail "SITE not kept for the machine"
[[ "$(registry_value NomURL "$policy_key")" == 'http://127.0.0.1:9/KelbBin/Kelb.dll/' ]] || fail "URL not kept"
[[ "$(registry_value EventMessageFile "$eventlog_key")" == 'C:\Program Files\Quorva\quorva.exe' ]] ||
    fail "the event source is not registered"

# ---- The current version over it, giving one setting: one product, the new quorva.exe, the
# setting given changed and the others kept.
wine msiexec /i "$(winepath -w "$msi")" /qn IMPRIMANTE=Evolis || fail "the MSI upgrade failed"
cmp -s "$program_folder/quorva.exe" "$build/quorva.exe" || fail "the upgrade kept the old quorva.exe"
[[ "$(quorva_products)" == 1 ]] || fail "the upgrade left $(quorva_products) products installed"
[[ "$(registry_value NomSite "$policy_key")" == POSTE ]] || fail "the upgrade lost the machine's site"
[[ "$(registry_value NomURL "$policy_key")" == 'http://127.0.0.1:9/KelbBin/Kelb.dll/' ]] ||
    fail "the upgrade lost the machine's URL"
[[ "$(registry_value NomImprimante "$policy_key")" == Evolis ]] || fail "IMPRIMANTE not kept"
[[ -f "$task" ]] || fail "the upgrade lost the logon task"

# ---- Removed: the program, the task and the machine's settings.
wine msiexec /x "$(winepath -w "$msi")" /qn || fail "the MSI removal failed"
[[ ! -e "$program_folder/quorva.exe" ]] || fail "quorva.exe is still there"
[[ ! -e "$task" ]] || fail "the logon task is still there"
wine reg query "$policy_key" >/dev/null 2>&1 && fail "the machine's settings are still there"
[[ "$(quorva_products)" == 0 ]] || fail "Quorva is still listed as installed"
echo "msi $version: install, upgrade and removal passed"
