# Shared by the installer tests: the version built, a throwaway copy of the project's Wine prefix
# and an earlier version to upgrade from. Source it with the release build folder as $1.
build="$(realpath "$1")"
unset DISPLAY # a display of our own: no other program's window named Quorva
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

version=$(sed -n 's/^#define QUORVA_VERSION "\(.*\)"$/\1/p' "$build/generated/quorva_version.h")

export WINEPREFIX="$work/prefix"
cp -a --reflink=auto "$QUORVA_BUILD/wineprefix" "$WINEPREFIX"
extra_cleanup='wineserver -k 2>/dev/null'
wineserver -p
wine cmd /c exit

# built <file name>: the file's path in the build folder, which must hold it.
built() {
    [[ -f "$build/$1" ]] || fail "no $build/$1"
    echo "$build/$1"
}

drive="$WINEPREFIX/drive_c"
program_folder="$drive/Program Files/Quorva"
task="$drive/windows/system32/tasks/Quorva"
policy_key='HKLM\SOFTWARE\Policies\Zentor\Quorva'
eventlog_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Quorva'

# registry_value <value> <key>: the value's data, as reg prints it.
registry_value() {
    wine reg query "$2" /v "$1" 2>/dev/null | sed -n "s/^ *$1 *REG_[A-Z_]* *//p" | tr -d '\r'
}

# An earlier version in $work/earlier: its version header and a quorva.exe that differs by a
# byte. The throwaway certificate stays in the environment for the caller to sign its package.
mkdir -p "$work/earlier"
printf '#define QUORVA_VERSION "0.0.9"\n#define QUORVA_VERSION_NUMBERS 0,0,9,0\n' \
    >"$work/earlier/quorva_version.h"
{ cat "$build/quorva.exe"; printf 'x'; } >"$work/earlier/quorva.exe"
make_signing_certificate
