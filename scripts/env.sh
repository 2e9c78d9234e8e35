# Shared by the scripts: where things live, and the Wine environment every Wine run uses.
QUORVA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QUORVA_BUILD="$QUORVA_ROOT/build"
export WINEPREFIX="$QUORVA_BUILD/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Wine takes the desk's language, date formats and code pages (ANSI 1252, OEM 850) from the
# locale: Quorva runs, and is tested, as on a French desk.
export LANG=fr_FR.UTF-8
unset LC_ALL

# The Unix process ids of the Windows program NAME.exe running in this Wine prefix (another prefix
# may run its own): those whose first argument is the program.
wine_processes() {
    local p
    for p in $(pgrep -f "$1" || true); do
        [[ "$(tr '\0' '\n' 2>/dev/null <"/proc/$p/cmdline" | head -n 1)" == *"$1" ]] &&
            tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" &&
            echo "$p"
    done
    return 0
}
