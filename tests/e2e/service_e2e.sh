#!/usr/bin/env bash
# End to end, the capture service and the desk apart: an invoice printed with no desk open reaches
# the report server once; a desk started afterwards shows it with its report id. When the service
# is killed the desk says "Service de capture arrêté" and stays up; once the service is started
# again the desk connects by itself, and an invoice printed then reaches the server once and shows
# in the desk with its report id. Prints how long the desk took to show that report id after the
# server stored the report (told, never asserted).
# What the desk shows is read from Wine's traces of its windows: +win gives each text a control is
# set to, +listview each cell of the job grid as it is drawn.
# Usage: service_e2e.sh <quorva.exe> <quorva-capture.exe> <quorva-report-server>
#                       <folder of sample spool files>
exe="$(realpath "$1")"
capture_exe="$(realpath "$2")"
server="$(realpath "$3")"
samples="$(realpath "$4")"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The grid's report id column is its sixth (sub-item 5).
desk_shows_report() {
    LC_ALL=C grep -a -q "LISTVIEW_DrawItem .*iSubItem=5, .*pszText=L\"$1\"" "$work/output"
}
desk_said_stopped() {
    LC_ALL=C grep -a -c 'set_window_text L"Service de capture arr\\00eat\\00e9"' "$work/output" || true
}
expect_reports() {
    sent() { [[ "$(reports)" -ge "$1" ]]; }
    wait_for 60 sent "$1" || fail "the invoice did not reach the server ($(reports) of $1)"
}

start_server
set_machine_settings "DossierSpouleur=$spool_win" "NomURL=$(server_url)" "NomSite=ESSAI"
start_capture

# No desk: the service captures alone.
spool "$samples/invoice-1.spl" "$work/spool/00031.SPL"
expect_reports 1
sent_logged() { [[ "$(logged '00031.spl : Envoy.e (rapport 1)')" -ge 1 ]]; }
wait_for 30 sent_logged || fail "the service did not log report 1 for 00031.spl"

WINEDEBUG=-all,+win,+listview start_quorva
wait_for 30 desk_shows_report 1 || fail "the desk did not show the job sent before it started"

# The service gone: the desk says so and stays.
told=$(desk_said_stopped)
kill_capture
said_again() { [[ "$(desk_said_stopped)" -gt "$told" ]]; }
wait_for 30 said_again || fail "the desk did not say that the capture service stopped"
sleep 2
still_running || fail "quorva.exe ended when the capture service was killed"

# Back: the desk connects again by itself and shows what the service sends from then on.
start_capture
spool "$samples/invoice-2.spl" "$work/spool/00032.SPL"
expect_reports 2
stored=$(LC_ALL=C stat -c %.9Y "$work/data/reports/2")
shown() { desk_shows_report 2 && date +%s.%N >"$work/shown"; }
wait_for 30 shown || fail "the desk did not show the invoice sent after the service came back"
LC_ALL=C awk -v a="$stored" -v b="$(cat "$work/shown")" \
    'BEGIN { printf "the desk showed report 2 %.2f s after the server stored it\n", b - a }'

# Long enough for a wrong second upload of either.
sleep 4
[[ "$(reports)" -eq 2 ]] || fail "$(reports) reports on the server, expected 2"
grep -qx 'FileName=00031.spl' "$work/data/reports/1/fields.txt" || fail "report 1 is not 00031.spl"
grep -qx 'FileName=00032.spl' "$work/data/reports/2/fields.txt" || fail "report 2 is not 00032.spl"
still_running || fail "quorva.exe ended by itself"
close_quorva
stop_capture
echo "captured with no desk open; the desk showed the service's jobs, its loss and its return"
