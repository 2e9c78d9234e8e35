#!/usr/bin/env bash
# End to end under faults: invoices printed one after another, every one with bytes of its own,
# while the report server goes down once and the capture service is killed three times with an
# upload on the wire and started again. In the end every invoice is on the server, and one the
# server holds twice is told "peut-être en double" in the service's daily log. A kill with an
# upload on the wire leaves a send whose answer was lost: that job is told so when it is sent
# again.
# Usage: kills_e2e.sh <quorva.exe> <quorva-capture.exe> <quorva-report-server>
#                     <folder of sample spool files>
exe="$(realpath "$1")"
capture_exe="$(realpath "$2")"
server="$(realpath "$3")"
samples="$(realpath "$4")"
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

count=24
kills=3

# The samples with a document number of their own each: no two invoices have the same bytes.
mkdir -p "$work/invoices"
for n in $(seq "$count"); do
    LC_ALL=C sed "s/123456/$((700000 + n))/; s/200417/$((700000 + n))/" \
        "$samples/invoice-$(((n - 1) % 2 + 1)).spl" >"$work/invoices/$n.spl"
done
spool_name() { printf '%05d.SPL' "$1"; }

printer_pid=""
extra_cleanup='[[ -n "$printer_pid" ]] && kill $printer_pid 2>/dev/null || true'
print_invoices() {
    for n in $(seq "$count"); do
        spool "$work/invoices/$n.spl" "$work/spool/$(spool_name "$n")" 0.1
        sleep "1.$((RANDOM % 10))"
    done
}

# A connection waits in the frozen server's accept queue.
upload_waiting() { [[ "$(ss -Hltn "sport = :$port" | awk '{print $2}')" -gt 0 ]]; }
# Kills the capture service with an upload on the wire: the server is frozen while the request
# goes out, and it reads, stores and answers it only once the service is gone, so that the answer
# is lost.
kill_mid_upload() {
    kill -STOP "$server_pid"
    wait_for 20 upload_waiting || fail "no upload came while the server was frozen"
    sleep 0.5 # the rest of the request
    kill_capture
    kill -CONT "$server_pid"
}
start_server
set_machine_settings "DossierSpouleur=$spool_win" "NomURL=$(server_url)" "NomSite=ESSAI"
start_capture

print_invoices &
printer_pid=$!
sleep 3
kill_mid_upload
start_capture
stop_server
sleep 6
start_server
for ((k = 2; k <= kills; k++)); do
    sleep 4
    kill_mid_upload
    start_capture
done
wait "$printer_pid"
printer_pid=""

all_arrived() { [[ "$(reports)" -ge "$count" ]]; }
wait_for 60 all_arrived || true
sleep 4 # a late repeat would show now
capture_running || fail "quorva-capture.exe ended by itself"

# Each invoice's copies on the server, found by their bytes; a copy of no printed invoice (a
# piece of one) is a fault too.
sha256sum "$work"/data/reports/*/spool 2>/dev/null | cut -d' ' -f1 | sort >"$work/stored"
arrived=0 duplicates=0
problems=()
for n in $(seq "$count"); do
    name=$(spool_name "$n")
    sum=$(sha256sum "$work/invoices/$n.spl" | cut -d' ' -f1)
    copies=$(grep -c -x "$sum" "$work/stored" || true)
    sed -i "/^$sum\$/d" "$work/stored"
    if [[ "$copies" -eq 0 ]]; then
        problems+=("$name lost")
        continue
    fi
    arrived=$((arrived + 1))
    [[ "$copies" -gt 1 ]] || continue
    duplicates=$((duplicates + 1))
    if [[ "$(logged " ${name,,} : envoy.e (peut-.tre en double)")" -eq 0 ]]; then
        problems+=("$name stored $copies times and not told")
    fi
done
# The log names each job by its spool file's name in lower case.
flagged=$(log_text |
    { LC_ALL=C grep -a -o ' [0-9]*\.spl : envoy.e (peut-.tre en double)' || true; } | sort -u | wc -l)
echo "printed $count, arrived $arrived, duplicates $duplicates, flagged $flagged"

[[ ${#problems[@]} -eq 0 ]] || fail "$(printf '%s; ' "${problems[@]}")"
[[ ! -s "$work/stored" ]] || fail "$(wc -l <"$work/stored") reports are no printed invoice"
[[ "$flagged" -ge "$kills" ]] ||
    fail "$kills sends lost their answer, $flagged told \"peut-être en double\""
stop_capture
echo "every invoice arrived through $kills kills and an outage, and none twice untold"
