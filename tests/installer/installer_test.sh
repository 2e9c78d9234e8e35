#!/usr/bin/env bash
# The setup program under Wine, in a throwaway copy of the project's prefix: a folder standard
# users can write refused; a silent install of an earlier version, signed with a throwaway
# certificate, with the desk's settings on the command line (the files, the Start-menu shortcut,
# the uninstall entry, the logon task, the event source); the installed Quorva started from its
# shortcut, taking the user's settings over the machine's; a silent upgrade while it runs (Quorva
# closed and started again, whether refused while another session holds quorva.exe or done; the
# new version in place, the user's settings kept), the logon start turned off and on, then a
# silent uninstall that leaves nothing but the user's settings.
# Wine registers the logon task but keeps only part of its definition and never runs it at logon;
# it runs everything elevated, so the standard user's case is tested apart (app_program_win_tests).
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

# The earlier version's setup: the same script, signed with the throwaway certificate.
"$(dirname "$nsi")/sign" "$work/earlier/quorva.exe"
makensis -V1 -DPROGRAM="$work/earlier/quorva.exe" -DVERSION_HEADER="$work/earlier/quorva_version.h" \
    -DOUTDIR="$work/earlier" "$nsi" >/dev/null || fail "makensis failed for the earlier version"
unset QUORVA_SIGN_CERT QUORVA_SIGN_PASSWORD
earlier_setup="$(winepath -w "$work/earlier/quorva-setup-0.0.9.exe")"
check_signed "$work/earlier/quorva.exe"
check_signed "$work/earlier/quorva-setup-0.0.9.exe"

# ---- A folder that standard users can write (Wine maps a world-writable folder to Everyone's
# write access) is refused: the logon task would start its quorva.exe with administrators' rights.
mkdir -p "$drive/Ouvert"
chmod 777 "$drive/Ouvert"
wine "$earlier_setup" /S '/D=C:\Ouvert\Quorva' && fail "the setup installed into a folder users can write"
[[ ! -e "$drive/Ouvert/Quorva/quorva.exe" ]] || fail "quorva.exe was put into a folder users can write"

# ---- Silent install of the earlier version, with the desk's settings.
wine "$earlier_setup" /S /SITE=POSTE /IMPRIMANTE=Evolis || fail "the earlier setup failed"
cmp -s "$program_folder/quorva.exe" "$work/earlier/quorva.exe" || fail "quorva.exe not installed"
[[ -f "$program_folder/desinstaller.exe" ]] || fail "no uninstaller"
grep -qaF 'C:\Program Files\Quorva\quorva.exe' "$shortcut" || fail "no Start-menu shortcut"
[[ "$(entry DisplayName)" == Quorva ]] || fail "no uninstall entry"
[[ "$(entry DisplayVersion)" == 0.0.9 ]] || fail "uninstall entry without the version"
[[ "$(entry Publisher)" == Zentor ]] || fail "uninstall entry without the publisher"
[[ "$(entry QuietUninstallString)" == '"C:\Program Files\Quorva\desinstaller.exe" /S' ]] ||
    fail "uninstall entry without the silent uninstall"
# The logon start, checked by default: the task as Wine keeps it.
[[ "$(entry DemarrageOuvertureSession)" == 0x1 ]] || fail "the logon task was not made"
grep -qF "Démarre Quorva à l'ouverture de session" "$task" ||
    fail "no logon task"
[[ "$(registry_value NomSite "$policy_key")" == POSTE ]] || fail "/SITE= not kept for the machine"
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
# Its first log line: the user's site over the machine's, the machine's card printer over the
# default.
# The window can show before the line is written, and the log file's name is known only once it
# exists: the pattern is expanded anew at each try.
start_logged() { grep -qs 'marrage de Quorva' "$logs"/quorva-*.log; }
wait_for 30 start_logged || fail "no start line in the daily log"
start_line=$(iconv -f CP1252 -t UTF-8 "$logs"/quorva-*.log | grep 'Démarrage de Quorva')
[[ "$start_line" == *'NomImprimante="Evolis" (poste)'*'NomSite="INSTALLE" (utilisateur)'* ]] ||
    fail "the settings' origins are wrong: $start_line"

# The Windows process id of the running quorva.exe, from the debugger's process list. Wine hands
# out process ids without reusing them soon, unlike X window ids, which a new process can get
# again.
quorva_pid() {
    wine winedbg --command "info proc" 2>/dev/null | sed -n "s/^ *\([0-9a-f]*\) .*'quorva\.exe'.*/\1/Ip"
}
restarted() {
    local now
    now=$(quorva_pid)
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
before=$(quorva_pid)
[[ "$before" =~ ^[0-9a-f]+$ ]] || fail "no single quorva.exe running: '$before'"
wine "$(winepath -w "$setup")" /S && fail "the upgrade succeeded over a quorva.exe in use"
wait_for 60 restarted "$before" || fail "the refused upgrade did not close and start Quorva again"
cmp -s "$program_folder/quorva.exe" "$work/earlier/quorva.exe" || fail "quorva.exe changed while in use"
[[ "$(entry DisplayVersion)" == 0.0.9 ]] || fail "the failed upgrade changed the version"
wine taskkill /f /im hold.exe >/dev/null
wait "$hold_pid" || true

# ---- The upgrade again, turning the logon start off: the new version in place, running again.
before=$(quorva_pid)
wine "$(winepath -w "$setup")" /S /DEMARRAGE=0 || fail "the upgrade failed"
wait_for 60 restarted "$before" || fail "the upgrade did not close and start Quorva again"
cmp -s "$program_folder/quorva.exe" "$build/quorva.exe" || fail "the upgrade kept the old quorva.exe"
[[ "$(entry DisplayVersion)" == "$version" ]] || fail "the uninstall entry kept the old version"
[[ ! -e "$task" ]] || fail "/DEMARRAGE=0 left the logon task"
cmp -s "$settings" "$work/settings-before" || fail "the upgrade changed the user's settings"
# What the desks run: stripped, with the version from git describe.
x86_64-w64-mingw32-objdump -h "$program_folder/quorva.exe" | grep -q '\.debug_' &&
    fail "the installed quorva.exe carries debug information"
strings -el "$program_folder/quorva.exe" | grep -qxF "$version" ||
    fail "the installed quorva.exe does not carry version $version"

# The next upgrade keeps the logon start off; /DEMARRAGE=1 turns it on again.
wine "$(winepath -w "$setup")" /S || fail "the second upgrade failed"
[[ ! -e "$task" ]] || fail "an upgrade turned the logon start back on"
wine "$(winepath -w "$setup")" /S /DEMARRAGE=1 || fail "the third upgrade failed"
[[ -f "$task" ]] || fail "/DEMARRAGE=1 made no logon task"

# ---- Silent uninstall. The uninstaller runs from a copy in TEMP, so its end is waited for.
wine "C:\\Program Files\\Quorva\\desinstaller.exe" /S || fail "the uninstaller failed"
wait_for 60 test ! -e "$program_folder" || fail "the program folder is still there"
[[ ! -e "$shortcut" ]] || fail "the shortcut is still there"
[[ ! -e "$task" ]] || fail "the logon task is still there"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstall entry is still there"
wine reg query "$policy_key" >/dev/null 2>&1 && fail "the machine's settings are still there"
cmp -s "$settings" "$work/settings-before" || fail "the uninstall changed the user's settings"
echo "installer $version: install, start, upgrade and uninstall passed"
