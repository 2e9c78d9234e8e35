#!/usr/bin/env bash
# Smoke test of quorva.exe under Wine: it starts with its own settings and spool folder, takes
# files dropped into the folder, stays up, and closes cleanly with exit code 0 when its window
# is asked to close.
# Usage: quorva_smoke.sh <path of quorva.exe>
exe="$(realpath "$1")"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The server URL is empty so that nothing leaves the machine; the settings file is compared
# after the run.
write_settings "DossierSpouleur=$spool_win" "NomSite=SMOKE" "NomURL="
cp "$work/appdata/Zentor/Quorva.ini" "$work/settings-before"
start_quorva

for n in 1 2 3; do
    printf 'facture %s\r\n' "$n" >"$work/spool/0001$n.SPL"
done
printf 'suite\r\n' >>"$work/spool/00011.SPL"

# Still up a while later.
sleep 5
still_running || fail "quorva.exe ended by itself"
close_quorva

# Nothing was changed, so nothing was written.
cmp -s "$work/settings-before" "$work/appdata/Zentor/Quorva.ini" || fail "the settings file changed"
