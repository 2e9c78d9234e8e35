# Shared by the installer tests: the version built, a throwaway copy of the project's Wine prefix
# and an earlier version to upgrade from. Source it with the release build folder as $1.
build="$(realpath "$1")"
unset DISPLAY # a display of our own: no other program's window named Quorva
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

version=$(sed -n 's/^#define QUORVA_VERSION "\(.*\)"$/\1/p' "$build/generated/quorva_version.h")

export WINEPREFIX="$work/prefix"
cp -a --reflink=auto "$QUORVA_BUILD/wineprefix" "$WINEPREFIX"
extra_cleanup='exec {keeper}>&-; wineserver -k 2>/dev/null'
wineserver -p
wine cmd /c exit
# Wine stops services as soon as no ordinary process is left in the prefix: a cmd waiting on its
# input keeps one for the whole test, and ends with the input closed.
mkfifo "$work/keeper"
wine cmd <"$work/keeper" >/dev/null 2>&1 &
exec {keeper}>"$work/keeper"

# built <file name>: the file's path in the build folder, which must hold it.
built() {
    [[ -f "$build/$1" ]] || fail "no $build/$1"
    echo "$build/$1"
}

drive="$WINEPREFIX/drive_c"
program_folder="$drive/Program Files/Quorva"
task="$drive/windows/system32/tasks/Quorva"
policy_key='HKLM\SOFTWARE\Policies\Zentor\Quorva'
settings_key='HKLM\SOFTWARE\Zentor\Quorva'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
service_key='HKLM\System\CurrentControlSet\Services\Quorva'
data_folder="$drive/ProgramData/Zentor/Quorva"
# A real report address and a folder with blanks, as an installation is given them.
address='http://127.0.0.1:9/KelbBin/Kelb.dll/'
spool_folder='C:\Spool Folder\Printers'
eventlog_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Quorva'

# registry_value <value> <key>: the value's data, as reg prints it.
registry_value() {
    wine reg query "$2" /v "$1" 2>/dev/null | sed -n "s/^ *$1 *REG_[A-Z_]* *//p" | tr -d '\r'
}

# run_line <command line>: runs it from a batch file, as typed at a prompt (wine would quote and
# escape arguments itself), and gives its exit code.
run_line() {
    printf '%s\r\nexit /b %%errorlevel%%\r\n' "$1" >"$drive/run-line.bat"
    wine cmd /c 'C:\run-line.bat' >/dev/null 2>&1
}

# The Windows process id of a running program, from the debugger's process list. Wine hands out
# process ids without reusing them soon, unlike X window ids, which a new process can get again.
process_id() {
    wine winedbg --command "info proc" 2>/dev/null | sed -n "s/^ *\([0-9a-f]*\) .*'$1'.*/\1/Ip"
}
service_running() { wine sc query Quorva 2>/dev/null | grep -q 'STATE *: 4 *RUNNING'; }
# A new capture process: the service stopped and started again.
service_restarted() {
    local now
    now=$(process_id quorva-capture.exe)
    [[ -n "$now" && "$now" != "$1" ]] && service_running
}

# The service as both installers register it: its program, automatic, as the system, its name
# (read from an export: reg query prints in the console's code page), running; the start at logon
# from the Run key and no scheduled task.
check_service_installed() {
    [[ "$(registry_value ImagePath "$service_key")" == *'C:\Program Files\Quorva\quorva-capture.exe'* ]] ||
        fail "the service's program is not quorva-capture.exe"
    [[ "$(registry_value Start "$service_key")" == 0x2 ]] || fail "the service does not start with Windows"
    [[ "$(registry_value ObjectName "$service_key")" == LocalSystem ]] || fail "the service does not run as the system"
    wine reg export "$service_key" 'C:\service.reg' /y >/dev/null 2>&1
    iconv -f UTF-16 -t UTF-8 "$drive/service.reg" | grep -qF '"DisplayName"="Quorva – capture des factures"' ||
        fail "the service's display name is wrong"
    service_running || fail "the service is not running"
    [[ "$(registry_value Quorva "$run_key")" == '"C:\Program Files\Quorva\quorva.exe"' ]] ||
        fail "no start at logon in the Run key"
    [[ ! -e "$task" ]] || fail "a logon task was made"
}

# After a removal: no service, no start at logon, no program folder; the data folder stays.
check_removed() {
    wait_for 120 test ! -e "$program_folder" || fail "the program folder is still there"
    wine reg query "$service_key" >/dev/null 2>&1 && fail "the service is still registered"
    wine reg query "$run_key" /v Quorva >/dev/null 2>&1 && fail "the Run entry is still there"
    [[ -d "$data_folder" ]] || fail "the data folder was removed"
    wine reg query "$settings_key" >/dev/null 2>&1 && fail "the machine's settings are still there"
    wine reg query "$policy_key" /v NomImprimante >/dev/null 2>&1 && fail "the card printer setting is still there"
    return 0
}

# An earlier version in $work/earlier: its version header and a quorva.exe that differs by a
# byte. The throwaway certificate stays in the environment for the caller to sign its package.
mkdir -p "$work/earlier"
printf '#define QUORVA_VERSION "0.0.9"\n#define QUORVA_VERSION_NUMBERS 0,0,9,0\n' \
    >"$work/earlier/quorva_version.h"
for program in quorva.exe quorva-capture.exe; do
    { cat "$build/$program"; printf 'x'; } >"$work/earlier/$program"
done
make_signing_certificate
