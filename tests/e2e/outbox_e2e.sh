#!/usr/bin/env bash
# End to end: invoices printed while the report server is down are kept by the capture service,
# told as failed in its daily log, and reach the server exactly once each, byte for byte and in
# order, once it is back; a job still waiting when the service is killed is sent after its next
# start. No desk is open: the service captures alone.
# Usage: outbox_e2e.sh <quorva.exe> <quorva-capture.exe> <quorva-report-server>
#                      <folder of sample spool files>
exe="$(realpath "$1")"
capture_exe="$(realpath "$2")"
server="$(realpath "$3")"
samples="$(realpath "$4")"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Waits until the log tells N failures in all.
expect_failures() {
    failed() { [[ "$(logged ': .chec : ')" -ge "$1" ]]; }
    wait_for 60 failed "$1" || fail "failures told: $(logged ': .chec : '), expected $1"
}
# Waits until the server holds N reports, then a while longer to see that no more come.
expect_reports() {
    sent() { [[ "$(reports)" -ge "$1" ]]; }
    wait_for 90 sent "$1" || fail "the invoices did not reach the server ($(reports) of $1)"
    sleep 4
    [[ "$(reports)" -eq "$1" ]] || fail "$(reports) reports on the server, expected $1"
}
# The report with this id holds this sample's bytes under this file name.
check_report() {
    grep -qx "FileName=$2" "$work/data/reports/$1/fields.txt" ||
        fail "report $1 is not $2: $(cat "$work/data/reports/$1/fields.txt")"
    cmp -s "$work/data/reports/$1/spool" "$samples/$3" || fail "the bytes of $2 differ"
}

set_machine_settings "DossierSpouleur=$spool_win" "NomURL=$(server_url)" "NomSite=ESSAI"
start_capture

# Three invoices while the server is down: each settles, fails and is told so.
for n in 1 2 3; do
    cp "$samples/invoice-$(( (n - 1) % 2 + 1 )).spl" "$work/spool/0005$n.SPL"
    sleep 1
done
expect_failures 3
[[ "$(reports)" -eq 0 ]] || fail "reports on a server that was down"

# Back up: the first retry comes within 30 s, and the others follow it at once.
start_server
expect_reports 3
check_report 1 00051.spl invoice-1.spl
check_report 2 00052.spl invoice-2.spl
check_report 3 00053.spl invoice-1.spl

# Killed while a job waits: the next start sends it.
stop_server
cp "$samples/invoice-2.spl" "$work/spool/00054.SPL"
expect_failures 4
kill_capture
start_server
start_capture
expect_reports 4
check_report 4 00054.spl invoice-2.spl

stop_capture
echo "invoices printed while the server was down arrived once each, in order, also across a kill"
