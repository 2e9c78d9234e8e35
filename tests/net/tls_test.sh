#!/usr/bin/env bash
# Runs tls_client_tests under Wine against TLS endpoints on 127.0.0.1 (see tls_win_test.cpp): a
# test authority made now and trusted in the project's Wine prefix until the end of the run (its
# key is thrown away with the work folder, and it expires in two days), the report server over
# HTTPS, and one socat TLS relay per certificate that records what it decrypts.
#
#   tls_test.sh TLS_CLIENT_TESTS.exe TRUST_TEST_AUTHORITY.exe REPORT_SERVER
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"
tests_exe="$1"
trust_exe="$2"
server_bin="$3"

work="$(mktemp -d)"
pids=()
trusted=""
cleanup() {
    [[ -n "$trusted" ]] && wine "$trust_exe" remove "$trusted" || true
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    cat "$work"/*.log >&2 2>/dev/null || true
    exit 1
}

listening() { grep -qi ":$(printf %04X "$1") 00000000:0000 0A" /proc/net/tcp; }

# report_server NAME [--cert FILE --key FILE]: starts one; its address goes into $url.
report_server() {
    local name="$1"
    shift
    url=""
    "$server_bin" --port 0 --data "$work/$name-data" "$@" >"$work/$name.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        url="$(sed -n 's/^listening on //p' "$work/$name.log")"
        [[ -n "$url" ]] && return
        sleep 0.05
    done
    fail "the report server $name did not start"
}

# relay CERTIFICATE BACKEND_PORT: a TLS relay with that certificate, recording into
# received-PORT.bin; its port goes into $port.
relay() {
    for _ in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 40000))
        listening "$port" && continue
        : >"$work/received-$port.bin"
        socat -r "$work/received-$port.bin" \
            "OPENSSL-LISTEN:$port,bind=127.0.0.1,reuseaddr,fork,cert=$work/$1.pem,key=$work/$1.key,verify=0" \
            "TCP:127.0.0.1:$2" >>"$work/socat.log" 2>&1 &
        pids+=($!)
        for _ in $(seq 100); do
            listening "$port" && return
            kill -0 "${pids[-1]}" 2>/dev/null || break
            sleep 0.05
        done
    done
    fail "no TLS relay for $1"
}

# answering_server MODE: a TLS server with the good certificate that answers every request with a
# report id and no length, then closes: with close_notify ("clean") or without it ("cut"); its
# port goes into $port.
answering_server() {
    python3 - "$work/good.pem" "$work/good.key" "$1" >"$work/$1.port" 2>>"$work/python.log" <<'PY' &
import socket, ssl, sys
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[1], sys.argv[2])
listener = socket.create_server(("127.0.0.1", 0))
print(listener.getsockname()[1], flush=True)


def more(tls):
    data = tls.recv(65536)
    if not data:
        raise OSError("request cut")
    return data


while True:
    raw, _ = listener.accept()
    raw.settimeout(20)
    try:
        with context.wrap_socket(raw, server_side=True) as tls:
            request = b""
            while b"\r\n\r\n" not in request:
                request += more(tls)
            head, _, body = request.partition(b"\r\n\r\n")
            length = next(int(line.split(b":")[1]) for line in head.split(b"\r\n")
                          if line.lower().startswith(b"content-length:"))
            while len(body) < length:
                body += more(tls)
            tls.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<idReport>7</idReport>")
            # Closing the socket alone sends no close_notify.
            if sys.argv[3] == "clean":
                tls.unwrap()
    except (OSError, ssl.SSLError) as e:
        print(e, file=sys.stderr)
        raw.close()
PY
    pids+=($!)
    for _ in $(seq 100); do
        port="$(cat "$work/$1.port")"
        [[ -n "$port" ]] && return
        sleep 0.05
    done
    fail "no TLS server $1"
}

bash "$(dirname "${BASH_SOURCE[0]}")/../../scripts/make-test-certificates" "$work"
report_server plain
plain_port="${url#http://127.0.0.1:}"
plain_port="${plain_port%%/*}"
report_server https --cert "$work/good.pem" --key "$work/good.key"
export QUORVA_TLS_REPORT_SERVER="${url/127.0.0.1/localhost}"
QUORVA_TLS_WORK="$(winepath -w "$work")"
export QUORVA_TLS_WORK
relay good "$plain_port" && export QUORVA_TLS_GOOD="$port"
relay good "$plain_port" && export QUORVA_TLS_PROXIED="$port"
relay other-name "$plain_port" && export QUORVA_TLS_OTHER_NAME="$port"
relay expired "$plain_port" && export QUORVA_TLS_EXPIRED="$port"
relay unknown "$plain_port" && export QUORVA_TLS_UNKNOWN="$port"
answering_server clean && export QUORVA_TLS_CLEAN_END="$port"
answering_server cut && export QUORVA_TLS_CUT_END="$port"

trusted="$(winepath -w "$work/trusted.der")"
wine "$trust_exe" add "$trusted" || fail "the test authority could not be trusted"
wine "$tests_exe" || fail "tls_client_tests"
