# Shared by the end-to-end scripts: a work folder, a display, the capture service
# (quorva-capture.exe --console) under Wine with machine settings and a data folder of its own, and
# the desk (quorva.exe) with a settings file of its own. Source it after setting `exe` to the path
# of quorva.exe and `capture_exe` to that of quorva-capture.exe.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/env.sh"

work="$(mktemp -d)"
xvfb_pid=""
app_pid=""
capture_pid=""
server_pid=""
extra_cleanup=""
cleanup() {
    # The exes outlive the cmd that started them; left running, they would take the next run's
    # start for a second one (the capture service: the pipe's name). In this Wine prefix only.
    [[ -n "$app_pid" ]] && wine taskkill /im quorva.exe >/dev/null 2>&1 || true
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n "$capture_pid" ]] && wine taskkill /f /im quorva-capture.exe >/dev/null 2>&1 || true
    # The prefix is shared with the next test: its machine settings must not outlive this one.
    wine reg delete 'HKLM\SOFTWARE\Zentor' /f >/dev/null 2>&1 || true
    [[ -n "$extra_cleanup" ]] && eval "$extra_cleanup"
    # A server frozen mid-answer must wake to take its end.
    [[ -n "$server_pid" ]] && kill -CONT "$server_pid" 2>/dev/null && kill "$server_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    # QUORVA_KEEP_WORK=1 keeps the work folder (settings, job store, logs) to look into a failure.
    [[ -n "${QUORVA_KEEP_WORK:-}" ]] || rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    if [[ -s "$work/output" ]]; then
        # Its end: a desk run with Wine's traces on writes a great deal.
        echo "--- quorva.exe output:" >&2
        tail -n 40 "$work/output" >&2
    fi
    if [[ -s "$work/capture-output" ]]; then
        echo "--- quorva-capture.exe output:" >&2
        cat "$work/capture-output" >&2
    fi
    exit 1
}

# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
    local seconds="$1"
    shift
    for ((i = 0; i < seconds * 10; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# A display of our own when none is given.
if [[ -z "${DISPLAY:-}" ]]; then
    Xvfb -displayfd 5 -screen 0 1280x1024x24 5>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$work/display")"
fi

wineserver -p || true # already running is fine
wine cmd /c exit

mkdir -p "$work/appdata/Zentor" "$work/machine" "$work/spool"
spool_win="$(winepath -w "$work/spool")"
# A run that died before its cleanup may have left its machine settings.
wine reg delete 'HKLM\SOFTWARE\Zentor' /f >/dev/null 2>&1 || true

# Writes the settings file: `[Options]` and the key=value lines given as arguments.
write_settings() {
    {
        printf '[Options]\r\n'
        for line in "$@"; do printf '%s\r\n' "$line"; done
    } >"$work/appdata/Zentor/Quorva.ini"
}

# Writes the capture's machine settings (HKLM\SOFTWARE\Zentor\Quorva, REG_SZ), one KEY=VALUE
# an argument. A running capture service applies them without a restart.
set_machine_settings() {
    local pair
    for pair in "$@"; do
        wine reg add 'HKLM\SOFTWARE\Zentor\Quorva' /v "${pair%%=*}" /t REG_SZ /d "${pair#*=}" /f \
            >/dev/null || fail "could not write the machine setting $pair"
    done
}

capture_serving() { grep -q '^Capture en cours' "$work/capture-output" 2>/dev/null; }
capture_running() { [[ -n "$capture_pid" ]] && kill -0 "$capture_pid" 2>/dev/null; }

# Starts the capture service in the foreground, its data folder (job store, outbox, logs) under
# "machine", and waits until it serves the pipe: by then it watches the spool folder. Its output
# goes to $work/capture-output. Wine sets ProgramData for the first process it starts; a child of
# cmd gets cmd's environment.
start_capture() {
    wine cmd /c "set ProgramData=$(winepath -w "$work/machine")&& $(winepath -w "$capture_exe") --console" \
        >"$work/capture-output" 2>&1 &
    capture_pid=$!
    up_or_ended() { capture_serving || ! capture_running; }
    wait_for 60 up_or_ended && capture_running || fail "the capture service did not start"
}

# Ends the capture service at once, as a crash or a power cut would: nothing of it runs after
# this, and the pipe's name is free again.
kill_capture() {
    wine taskkill /f /im quorva-capture.exe >/dev/null 2>&1 || true
    # Reaped here, with stderr silenced: reaped later, bash would report the killed job.
    { kill -9 "$capture_pid" && wait "$capture_pid"; } 2>/dev/null || true
    capture_pid=""
    gone() { [[ -z "$(wine_processes quorva-capture.exe)" ]]; }
    wait_for 10 gone || fail "the killed quorva-capture.exe is still running"
}

# Stops the capture service as Ctrl+C does (Wine hands SIGINT to the console's control handler)
# and expects exit code 0: the default handler, had the service none, would end it with another.
stop_capture() {
    local process status=0
    process=$(wine_processes quorva-capture.exe)
    [[ -n "$process" ]] || fail "no quorva-capture.exe to stop"
    kill -INT $process
    wait_for 30 bash -c "! kill -0 $capture_pid 2>/dev/null" ||
        fail "quorva-capture.exe did not exit after Ctrl+C"
    wait "$capture_pid" || status=$?
    capture_pid=""
    [[ "$status" -eq 0 ]] || fail "quorva-capture.exe exited with code $status"
}

window_shown() { xwininfo -root -tree 2>/dev/null | grep -q '"Quorva"'; }

# Starts quorva.exe (the desk) with the work folder's settings file and waits for its window.
start_quorva() {
    wine cmd /c "set APPDATA=$(winepath -w "$work/appdata")&& $(winepath -w "$exe")" \
        >"$work/output" 2>&1 &
    app_pid=$!
    wait_for 60 window_shown || fail "the main window did not appear"
}

still_running() { kill -0 "$app_pid" 2>/dev/null; }

# Ends quorva.exe at once, as a crash or a power cut would: nothing of it runs after this.
kill_quorva() {
    # Reaped here, with stderr silenced: reaped later, bash would report the killed job.
    { kill -9 "$app_pid" && wait "$app_pid"; } 2>/dev/null || true
    wine taskkill /f /im quorva.exe >/dev/null 2>&1 || true
    app_pid=""
    no_window() { ! window_shown; }
    wait_for 10 no_window || fail "the window of the killed quorva.exe stayed"
}

quorva_windows() { xwininfo -root -tree 2>/dev/null | grep -c '"Quorva"' || true; }

# Starts quorva.exe a second time, as a double-click too many would: it must hand over to the
# running one and end by itself, with exit code 0, leaving one window.
start_second_quorva() {
    local status=0 windows
    windows=$(quorva_windows)
    timeout 60 wine cmd /c "set APPDATA=$(winepath -w "$work/appdata")&& $(winepath -w "$exe")" \
        >"$work/second-output" 2>&1 || status=$?
    [[ "$status" -eq 0 ]] || fail "the second start exited with code $status"
    [[ "$(quorva_windows)" -eq "$windows" ]] || fail "a second start opened a window of its own"
    still_running || fail "the first start ended when the second came"
}

# Closes the window as the user would (WM_CLOSE, no forced end) and expects exit code 0.
close_quorva() {
    wine taskkill /im quorva.exe >/dev/null || fail "taskkill found no window to close"
    wait_for 30 bash -c "! kill -0 $app_pid 2>/dev/null" ||
        fail "quorva.exe did not exit after WM_CLOSE"
    local status=0
    wait "$app_pid" || status=$?
    app_pid=""
    [[ "$status" -eq 0 ]] || fail "quorva.exe exited with code $status"
}

# Appends FILE to TARGET in four pieces, PAUSE seconds apart (default 0.4), as a spooler does.
spool() {
    local file="$1" target="$2" pause="${3:-0.4}" size piece
    size=$(stat -c %s "$file")
    piece=$(((size + 3) / 4))
    : >"$target"
    for i in 0 1 2 3; do
        dd if="$file" bs="$piece" skip="$i" count=1 status=none >>"$target"
        [[ $i -lt 3 ]] && sleep "$pause"
    done
    return 0
}

# The bundled report server, for scripts that set `server` to its path before sourcing this: it
# keeps its reports in $work/data and its log in $work/server.log, on a port of its own, free
# until it takes it, that it takes again after a stop.
[[ -z "${server:-}" ]] ||
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
start_server() {
    [[ -x "$server" ]] || fail "no report server at $server (build the native preset first)"
    : >"$work/server.log"
    "$server" --port "$port" --data "$work/data" >"$work/server.log" 2>&1 &
    server_pid=$!
    wait_for 10 grep -q '^listening on' "$work/server.log" || fail "the report server did not start"
}
stop_server() {
    kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
    server_pid=""
}
server_url() { echo "http://127.0.0.1:$port/KelbBin/Kelb.dll/"; }
# How many reports the server holds.
reports() { find "$work/data/reports" -mindepth 1 -maxdepth 1 -name '[0-9]*' 2>/dev/null | wc -l; }
# The capture service's daily logs (Windows-1252 text), and how many of their lines match.
log_text() { cat "$work"/machine/Zentor/Quorva/logs/*.log 2>/dev/null || true; }
logged() { log_text | LC_ALL=C grep -a -c "$1" || true; }

# A throwaway code-signing authority and certificate, and the environment by which the build's
# sign script uses them.
make_signing_certificate() {
    local dir="$work/signing"
    mkdir -p "$dir"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/ca.key" -out "$dir/ca.pem" -days 2 \
        -subj "/CN=Quorva test CA" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -keyout "$dir/sign.key" -out "$dir/sign.csr" \
        -subj "/CN=Zentor test" 2>/dev/null
    printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >"$dir/ext"
    openssl x509 -req -in "$dir/sign.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial \
        -out "$dir/sign.pem" -days 2 -extfile "$dir/ext" 2>/dev/null
    openssl pkcs12 -export -inkey "$dir/sign.key" -in "$dir/sign.pem" -certfile "$dir/ca.pem" \
        -out "$dir/sign.pfx" -passout pass:jetable
    export QUORVA_SIGN_CERT="$dir/sign.pfx" QUORVA_SIGN_PASSWORD=jetable
}

# Fails unless the file carries a signature that the throwaway authority vouches for.
check_signed() {
    osslsigncode verify -CAfile "$work/signing/ca.pem" -in "$1" >"$work/verify" 2>&1 ||
        fail "$(basename "$1") is not signed by the test certificate: $(tail -3 "$work/verify")"
}
