#!/usr/bin/env bash
# Smoke test under Wine: the capture service starts with machine settings and a spool folder of
# its own and takes files dropped into the folder; the desk starts beside it with its own settings
# file. Both stay up; the desk closes cleanly with exit code 0 when its window is asked to close,
# and the service with exit code 0 on Ctrl+C.
# Usage: quorva_smoke.sh <path of quorva.exe> <path of quorva-capture.exe>
exe="$(realpath "$1")"
capture_exe="$(realpath "$2")"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Nothing answers at the server URL (the discard port): nothing leaves the machine. The desk's
# settings file is compared after the run.
set_machine_settings "DossierSpouleur=$spool_win" "NomSite=SMOKE" "NomURL=http://127.0.0.1:9/"
write_settings "NomImprimante="
cp "$work/appdata/Zentor/Quorva.ini" "$work/settings-before"
start_capture
start_quorva

for n in 1 2 3; do
    printf 'facture %s\r\n' "$n" >"$work/spool/0001$n.SPL"
done
printf 'suite\r\n' >>"$work/spool/00011.SPL"

# Still up a while later.
sleep 5
still_running || fail "quorva.exe ended by itself"
capture_running || fail "quorva-capture.exe ended by itself"
close_quorva
stop_capture

# Nothing was changed, so nothing was written.
cmp -s "$work/settings-before" "$work/appdata/Zentor/Quorva.ini" || fail "the settings file changed"
