#!/usr/bin/env bash
# The MSI under Wine's msiexec, in a throwaway copy of the project's prefix: an earlier version,
# signed with a throwaway certificate, installed silently with the settings as properties (a real
# address, a folder with blanks ending in a backslash: the machine's values exact; the files, the
# shortcut, the service running, the Run entry, the event source);
# the current version over it as a major upgrade (one product left, the service stopped and
# started again, the settings kept unless given anew, a site the earlier release kept under the
# policy key moved); then removed: no service, no Run entry, no settings, the data folder kept.
# Wine's msiexec puts the shortcut in the user's Start menu rather than all users', and takes every
# quote out of a property given on its command line: the refusal of a value holding one is not
# tested here.
# Usage: msi_test.sh <release build folder> <installer folder>
installer="$(realpath "$2")"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
msi=$(built "quorva-$version.msi")

products='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
quorva_products() { wine reg query "$products" /s /v DisplayName 2>/dev/null | grep -c 'REG_SZ *Quorva' || true; }

bash "$installer/msi" "$work/earlier/quorva.exe" "$work/earlier/quorva-capture.exe" \
    "$work/earlier/quorva_version.h" "$work/earlier" ||
    fail "the earlier MSI was not built"
unset QUORVA_SIGN_CERT QUORVA_SIGN_PASSWORD
check_signed "$work/earlier/quorva-0.0.9.msi"

earlier_msi="$(winepath -w "$work/earlier/quorva-0.0.9.msi")"
# ---- The earlier version, with the settings.
run_line "msiexec /i $earlier_msi /qn SITE=POSTE URL=\"$address\" DOSSIER=\"C:\\Spool Folder\\\"" ||
    fail "the earlier MSI failed"
cmp -s "$program_folder/quorva.exe" "$work/earlier/quorva.exe" || fail "quorva.exe not installed"
find "$drive" -name Quorva.lnk | grep -q . || fail "no Start-menu shortcut"
check_service_installed
[[ "$(registry_value NomSite "$settings_key")" == POSTE ]] || fail "SITE not kept for the machine"
[[ "$(registry_value NomURL "$settings_key")" == "$address" ]] || fail "URL not kept whole"
[[ "$(registry_value DossierSpouleur "$settings_key")" == 'C:\Spool Folder\' ]] || fail "DOSSIER not kept whole"
[[ "$(registry_value EventMessageFile "$eventlog_key")" == 'C:\Program Files\Quorva\quorva.exe' ]] ||
    fail "the event source is not registered"

# ---- The current version over it, giving two settings, over a site the earlier release kept
# under the policy key: one product, the new programs, the service started again, the settings
# given changed, the site moved and the others kept.
service_before=$(process_id quorva-capture.exe)
[[ "$service_before" =~ ^[0-9a-f]+$ ]] || fail "no single quorva-capture.exe running: '$service_before'"
wine reg delete "$settings_key" /v NomSite /f >/dev/null 2>&1
wine reg add "$policy_key" /v NomSite /t REG_SZ /d ANCIEN /f >/dev/null 2>&1
wine msiexec /i "$(winepath -w "$msi")" /qn IMPRIMANTE=Evolis PROXY=proxy.local:8080 || fail "the MSI upgrade failed"
cmp -s "$program_folder/quorva.exe" "$build/quorva.exe" || fail "the upgrade kept the old quorva.exe"
cmp -s "$program_folder/quorva-capture.exe" "$build/quorva-capture.exe" || fail "the upgrade kept the old service"
[[ "$(quorva_products)" == 1 ]] || fail "the upgrade left $(quorva_products) products installed"
wait_for 60 service_restarted "$service_before" || fail "the upgrade did not stop and start the service"
check_service_installed
[[ "$(registry_value NomSite "$settings_key")" == ANCIEN ]] || fail "the policy key's site was not moved"
[[ -z "$(registry_value NomSite "$policy_key")" ]] || fail "the site stayed under the policy key"
[[ "$(registry_value NomURL "$settings_key")" == "$address" ]] || fail "the upgrade lost the machine's URL"
[[ "$(registry_value DossierSpouleur "$settings_key")" == 'C:\Spool Folder\' ]] || fail "the upgrade lost the folder"
[[ "$(registry_value Proxy "$settings_key")" == proxy.local:8080 ]] || fail "PROXY not kept"
[[ "$(registry_value NomImprimante "$policy_key")" == Evolis ]] || fail "IMPRIMANTE not kept"

# ---- Removed: the program, the service, the start at logon and the machine's settings; the
# data folder, which the service fills, stays.
mkdir -p "$data_folder"
wine msiexec /x "$(winepath -w "$msi")" /qn || fail "the MSI removal failed"
check_removed
[[ "$(quorva_products)" == 0 ]] || fail "Quorva is still listed as installed"
echo "msi $version: install, upgrade and removal passed"
