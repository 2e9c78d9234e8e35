#!/usr/bin/env bash
# End to end: the bundled report server on loopback and the capture service under Wine watching a
# spool folder of its own, with the desk open beside it. Invoices written into the folder the way
# a spooler writes them (several pieces over a second or two) each reach the server exactly once,
# with the six form fields and the file's bytes; files that are not invoices are not uploaded;
# both programs stay up and close cleanly.
# A second start of the desk hands over to the first and ends.
# Usage: capture_e2e.sh <quorva.exe> <quorva-capture.exe> <quorva-report-server>
#                       <folder of sample spool files>
exe="$(realpath "$1")"
capture_exe="$(realpath "$2")"
server="$(realpath "$3")"
samples="$(realpath "$4")"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

start_server
set_machine_settings "DossierSpouleur=$spool_win" "NomURL=$(server_url)" "NomSite=ESSAI"
start_capture
start_quorva
start_second_quorva

writers=()
spool "$samples/invoice-1.spl" "$work/spool/00021.SPL" &
writers+=($!)
spool "$samples/invoice-2.spl" "$work/spool/00022.SPL" &
writers+=($!)
spool "$samples/not-an-invoice.spl" "$work/spool/00023.SPL" &
writers+=($!)
: >"$work/spool/00021.SHD" # an empty companion file, as the spooler leaves beside a job
wait "${writers[@]}"

two_reports() { [[ "$(reports)" -ge 2 ]]; }
wait_for 60 two_reports || fail "the invoices did not reach the report server ($(reports) of 2)"

# Long enough for any further (wrong) upload: the settling poll needs about 3 s per file.
sleep 8
[[ "$(reports)" -eq 2 ]] || fail "$(reports) reports on the server, expected 2"
still_running || fail "quorva.exe ended by itself"
capture_running || fail "quorva-capture.exe ended by itself"

today=$(date +%d/%m/%Y)
check_report() {
    local name="$1" sample="$2" job="$3" dir
    dir=$(grep -l "^FileName=$name\$" "$work"/data/reports/*/fields.txt | xargs -r dirname)
    [[ -n "$dir" ]] || fail "no report for $name"
    local expected
    expected=$(printf '%s\n' "XMLC_OutputFormat=XML" "PrintDate=$today" "Site=ESSAI" \
        "JobID=$job" "MAX_FILE_SIZE=4096000" "FileName=$name")
    [[ "$(cat "$dir/fields.txt")" == "$expected" ]] ||
        fail "fields of $name: $(cat "$dir/fields.txt")"
    grep -qx "field=$name" "$dir/file.txt" || fail "file part of $name: $(cat "$dir/file.txt")"
    cmp -s "$dir/spool" "$sample" || fail "the bytes of $name differ from the printed file"
}
# Jobs are numbered in the order the poll found them settled; either order is right.
first=$(grep -h '^FileName=' "$work"/data/reports/1/fields.txt | cut -d= -f2)
if [[ "$first" == "00021.spl" ]]; then
    check_report 00021.spl "$samples/invoice-1.spl" 1
    check_report 00022.spl "$samples/invoice-2.spl" 2
else
    check_report 00022.spl "$samples/invoice-2.spl" 1
    check_report 00021.spl "$samples/invoice-1.spl" 2
fi

close_quorva
stop_capture
echo "two invoices uploaded once each with their fields and bytes; the other files were not"
