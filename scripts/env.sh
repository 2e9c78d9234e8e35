# Shared by the scripts: where things live, and the Wine environment every Wine run uses.
QUORVA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QUORVA_BUILD="$QUORVA_ROOT/build"
export WINEPREFIX="$QUORVA_BUILD/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
