#!/usr/bin/env bash
# The setup program under Wine, in a throwaway copy of the project's prefix: unsafe install
# folders refused (one users can write; one owned by a standard user or that users may delete,
# given through a test build's security seam since Wine keeps no owners); a silent install of an
# earlier version, signed with a throwaway certificate, with the settings on the command line (a
# real address with slashes, a folder with blanks: the machine's values exact; the files, the
# shortcut, the uninstall entry, the service running, the Run entry, the event source); the
# installed Quorva started from its shortcut; silent upgrades while it runs (Quorva closed and
# started again, whether refused while another session holds quorva.exe or done; the service
# stopped and started again; values not given kept, an earlier release's policy values moved, a
# machine without settings taking the user's), the logon start turned off and on, then a silent
# uninstall right after an upgrade started Quorva again: no service, no Run entry, no program
# folder, the data folder and the user's settings kept.
# Wine keeps no service failure actions (sc failure answers success and stores nothing), and runs
# everything elevated, so the standard user's case is tested apart (app_program_win_tests).
# Usage: installer_test.sh <release build folder> <quorva.nsi>
nsi="$(realpath "$2")"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
setup=$(built "quorva-setup-$version.exe")

shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorva.lnk"
settings="$drive/users/$(id -un)/AppData/Roaming/Zentor/Quorva.ini"
logs="$drive/ProgramData/Zentor/Quorva/logs"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorva'
# The uninstall entry's value.
entry() { registry_value "$1" "$uninstall_key"; }

# The earlier version's setup: the same script, signed with the throwaway certificate; and one
# that takes folders' security descriptors from $work/sddl.ini.
"$(dirname "$nsi")/sign" "$work/earlier/quorva.exe"
earlier_setup_from() {
    local out="$1"
    shift
    makensis -V1 -DPROGRAM="$work/earlier/quorva.exe" -DCAPTURE_PROGRAM="$work/earlier/quorva-capture.exe" \
        -DVERSION_HEADER="$work/earlier/quorva_version.h" -DOUTDIR="$work/$out" "$@" "$nsi" >/dev/null ||
        fail "makensis failed for the earlier version"
}
mkdir -p "$work/seam"
earlier_setup_from earlier
unset QUORVA_SIGN_CERT QUORVA_SIGN_PASSWORD
earlier_setup_from seam -DSDDL_SEAM="$(winepath -w "$work/sddl.ini")"
earlier_setup="$(winepath -w "$work/earlier/quorva-setup-0.0.9.exe")"
check_signed "$work/earlier/quorva.exe"
check_signed "$work/earlier/quorva-setup-0.0.9.exe"

# ---- A folder that standard users can write (Wine maps a world-writable folder to Everyone's
# write access) is refused: the service runs its program as the system.
mkdir -p "$drive/Ouvert"
chmod 777 "$drive/Ouvert"
wine "$earlier_setup" /S '/D=C:\Ouvert\Quorva' && fail "the setup installed into a folder users can write"
[[ ! -e "$drive/Ouvert/Quorva/quorva.exe" ]] || fail "quorva.exe was put into a folder users can write"
# A parent owned by a standard user, and a folder users may delete, otherwise reserved to
# administrators.
mkdir -p "$drive/Cede/Quorva" "$drive/Supprimable"
printf '[sd]\r\nC:\\Cede=O:BUD:(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)\r\nC:\\Supprimable=O:BAD:(A;OICI;FA;;;BA)(A;OICI;0x1300a9;;;BU)\r\n' \
    >"$work/sddl.ini"
seam_setup="$(winepath -w "$work/seam/quorva-setup-0.0.9.exe")"
wine "$seam_setup" /S '/D=C:\Cede\Quorva' && fail "the setup installed under a folder a standard user owns"
wine "$seam_setup" /S '/D=C:\Supprimable' && fail "the setup installed into a folder users may delete"
[[ ! -e "$drive/Cede/Quorva/quorva.exe" && ! -e "$drive/Supprimable/quorva.exe" ]] ||
    fail "quorva.exe was put into an unsafe folder"

# ---- Silent install of the earlier version, with the settings.
run_line "$earlier_setup /S /URL=$address /SITE=POSTE /IMPRIMANTE=Evolis /DOSSIER=$spool_folder /PROXY=\"proxy.local:8080\"" ||
    fail "the earlier setup failed"
cmp -s "$program_folder/quorva.exe" "$work/earlier/quorva.exe" || fail "quorva.exe not installed"
[[ -f "$program_folder/desinstaller.exe" ]] || fail "no uninstaller"
grep -qaF 'C:\Program Files\Quorva\quorva.exe' "$shortcut" || fail "no Start-menu shortcut"
[[ "$(entry DisplayName)" == Quorva ]] || fail "no uninstall entry"
[[ "$(entry DisplayVersion)" == 0.0.9 ]] || fail "uninstall entry without the version"
[[ "$(entry Publisher)" == Zentor ]] || fail "uninstall entry without the publisher"
[[ "$(entry QuietUninstallString)" == '"C:\Program Files\Quorva\desinstaller.exe" /S' ]] ||
    fail "uninstall entry without the silent uninstall"
[[ "$(entry DemarrageOuvertureSession)" == 0x1 ]] || fail "the logon start is not recorded"
check_service_installed
[[ "$(registry_value NomURL "$settings_key")" == "$address" ]] || fail "/URL= not kept whole"
[[ "$(registry_value NomSite "$settings_key")" == POSTE ]] || fail "/SITE= not kept for the machine"
[[ "$(registry_value DossierSpouleur "$settings_key")" == "$spool_folder" ]] || fail "/DOSSIER= not kept whole"
[[ "$(registry_value Proxy "$settings_key")" == proxy.local:8080 ]] || fail "/PROXY= not kept"
[[ "$(registry_value NomImprimante "$policy_key")" == Evolis ]] || fail "/IMPRIMANTE= not kept"
[[ "$(registry_value EventMessageFile "$eventlog_key")" == 'C:\Program Files\Quorva\quorva.exe' ]] ||
    fail "the event source is not registered"
check_signed "$program_folder/desinstaller.exe"

# ---- The installed Quorva, from its shortcut, with the user's settings.
mkdir -p "$(dirname "$settings")" "$work/spool"
printf '[Options]\r\nDossierSpouleur=%s\r\nNomSite=INSTALLE\r\nNomURL=\r\n' \
    "$(winepath -w "$work/spool")" >"$settings"
cp "$settings" "$work/settings-before"
wine start "$(winepath -w "$shortcut")" >"$work/output" 2>&1
wait_for 60 window_shown || fail "the installed Quorva shows no window"
# The service's first log line: the machine's settings as the setup wrote them, whatever the
# user's settings file says.
# The log file's name is known only once it exists: the pattern is expanded anew at each try.
start_logged() { grep -qs 'marrage de Quorva' "$logs"/quorva-*.log; }
wait_for 30 start_logged || fail "no start line in the service's daily log: $(ls -R "$drive/ProgramData/Zentor" 2>&1)"
start_line=$(iconv -f CP1252 -t UTF-8 "$logs"/quorva-*.log | grep 'Démarrage de Quorva' | head -n 1)
[[ "$start_line" == *'NomSite="POSTE" (poste)'*'Proxy="proxy.local:8080" (poste)'* ]] ||
    fail "the settings' origins are wrong: $start_line"

restarted() {
    local now
    now=$(process_id quorva.exe)
    [[ -n "$now" && "$now" != "$1" ]] && window_shown
}

# ---- Silent upgrade while it runs, and while another session (which the setup cannot see)
# holds quorva.exe: Quorva is closed, the upgrade fails with nothing updated, and Quorva runs
# again.
cat >"$work/hold.c" <<'C'
#include <windows.h>
#include <stdio.h>
int main(int argc, char** argv) {
    HANDLE file = CreateFileA(argv[argc - 1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    puts("held");
    fflush(stdout);
    Sleep(INFINITE);
}
C
x86_64-w64-mingw32-gcc -static -o "$work/hold.exe" "$work/hold.c" || fail "cannot build hold.exe"
wine "$(winepath -w "$work/hold.exe")" 'C:\Program Files\Quorva\quorva.exe' >"$work/held" 2>&1 &
hold_pid=$!
wait_for 30 grep -qs held "$work/held" || fail "hold.exe did not open quorva.exe"
before=$(process_id quorva.exe)
[[ "$before" =~ ^[0-9a-f]+$ ]] || fail "no single quorva.exe running: '$before'"
wine "$(winepath -w "$setup")" /S && fail "the upgrade succeeded over a quorva.exe in use"
wait_for 60 restarted "$before" || fail "the refused upgrade did not close and start Quorva again"
cmp -s "$program_folder/quorva.exe" "$work/earlier/quorva.exe" || fail "quorva.exe changed while in use"
[[ "$(entry DisplayVersion)" == 0.0.9 ]] || fail "the failed upgrade changed the version"
wine taskkill /f /im hold.exe >/dev/null
wait "$hold_pid" || true

wait_for 60 service_running || fail "the refused upgrade did not start the service again"

# ---- The upgrade again, turning the logon start off, over a site the earlier release kept under
# the policy key: the new version in place, Quorva and the service running again, the site moved,
# the values not given kept.
before=$(process_id quorva.exe)
service_before=$(process_id quorva-capture.exe)
[[ "$service_before" =~ ^[0-9a-f]+$ ]] || fail "no single quorva-capture.exe running: '$service_before'"
wine reg delete "$settings_key" /v NomSite /f >/dev/null 2>&1
wine reg add "$policy_key" /v NomSite /t REG_SZ /d ANCIEN /f >/dev/null 2>&1
wine "$(winepath -w "$setup")" /S /DEMARRAGE=0 || fail "the upgrade failed"
wait_for 60 restarted "$before" || fail "the upgrade did not close and start Quorva again"
wait_for 60 service_restarted "$service_before" || fail "the upgrade did not stop and start the service"
[[ "$(registry_value NomSite "$settings_key")" == ANCIEN ]] || fail "the policy key's site was not moved"
[[ -z "$(registry_value NomSite "$policy_key")" ]] || fail "the site stayed under the policy key"
[[ "$(registry_value NomURL "$settings_key")" == "$address" ]] || fail "the upgrade lost the address"
[[ "$(registry_value DossierSpouleur "$settings_key")" == "$spool_folder" ]] || fail "the upgrade lost the folder"
[[ "$(registry_value NomImprimante "$policy_key")" == Evolis ]] || fail "the upgrade lost the card printer"
cmp -s "$program_folder/quorva.exe" "$build/quorva.exe" || fail "the upgrade kept the old quorva.exe"
[[ "$(entry DisplayVersion)" == "$version" ]] || fail "the uninstall entry kept the old version"
wine reg query "$run_key" /v Quorva >/dev/null 2>&1 && fail "/DEMARRAGE=0 left the Run entry"
cmp -s "$settings" "$work/settings-before" || fail "the upgrade changed the user's settings"
# What the desks run: stripped, with the version from git describe.
x86_64-w64-mingw32-objdump -h "$program_folder/quorva.exe" | grep -q '\.debug_' &&
    fail "the installed quorva.exe carries debug information"
strings -el "$program_folder/quorva.exe" | grep -qxF "$version" ||
    fail "the installed quorva.exe does not carry version $version"

# The next upgrade keeps the logon start off, and takes back the proxy given empty; on a machine
# without capture settings, it takes the user's. /DEMARRAGE=1 turns the logon start on again.
for name in NomURL NomSite DossierSpouleur; do wine reg delete "$settings_key" /v $name /f >/dev/null 2>&1; done
run_line "$(winepath -w "$setup") /S /PROXY=" || fail "the second upgrade failed"
wine reg query "$run_key" /v Quorva >/dev/null 2>&1 && fail "an upgrade turned the logon start back on"
wine reg query "$settings_key" /v Proxy >/dev/null 2>&1 && fail "/PROXY= left the proxy"
[[ "$(registry_value NomSite "$settings_key")" == INSTALLE ]] || fail "the user's site was not taken"
[[ "$(registry_value DossierSpouleur "$settings_key")" == "$(winepath -w "$work/spool")" ]] ||
    fail "the user's folder was not taken"
wine "$(winepath -w "$setup")" /S /DEMARRAGE=1 || fail "the third upgrade failed"
[[ -n "$(registry_value Quorva "$run_key")" ]] || fail "/DEMARRAGE=1 made no Run entry"

# ---- Silent uninstall, while the Quorva that the upgrade started again may not show its window
# yet. The uninstaller runs from a copy in TEMP, so its end is waited for.
wine "C:\\Program Files\\Quorva\\desinstaller.exe" /S || fail "the uninstaller failed"
check_removed
[[ -z "$(process_id quorva.exe)" ]] || fail "Quorva still runs"
[[ ! -e "$shortcut" ]] || fail "the shortcut is still there"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstall entry is still there"
cmp -s "$settings" "$work/settings-before" || fail "the uninstall changed the user's settings"
echo "installer $version: install, start, upgrade and uninstall passed"
