# Writes the program's version, taken from `git describe --tags --always --dirty` (version tags
# only), into a header for the version resource and the installer. Runs at every build (cmake -P)
# and rewrites the header only when the version changed, so an unchanged tree rebuilds nothing.
#   -DSOURCE_DIR=<the repository> -DOUTPUT=<header> -DFALLBACK=<major.minor.patch>
#
# A tag vX.Y.Z (or X.Y.Z) gives X.Y.Z, then -N-gHASH when N commits follow it. Without a tag the
# version is FALLBACK-N-gHASH, N counting every commit; without git it is FALLBACK. -dirty marks
# uncommitted changes. The resource's four numbers are X, Y, Z and N.

execute_process(COMMAND git describe --tags --always --dirty --match "v[0-9]*" --match "[0-9]*"
                WORKING_DIRECTORY "${SOURCE_DIR}"
                OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE describe_failed ERROR_QUIET)

set(numbers_pattern "([0-9]+)\\.([0-9]+)\\.([0-9]+)")
set(base "${FALLBACK}")
if(describe_failed)
    set(version "${base}")
    set(commits 0)
elseif(describe MATCHES "^v?(${numbers_pattern}(-([0-9]+)-g[0-9a-f]+)?(-dirty)?)$")
    set(version "${CMAKE_MATCH_1}")
    set(base "${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.${CMAKE_MATCH_4}")
    set(commits "${CMAKE_MATCH_6}")
    if(commits STREQUAL "")
        set(commits 0)
    endif()
else()
    # No tag: describe gave the abbreviated hash, perhaps with -dirty.
    execute_process(COMMAND git rev-list --count HEAD
                    WORKING_DIRECTORY "${SOURCE_DIR}"
                    OUTPUT_VARIABLE commits OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(version "${base}-${commits}-g${describe}")
endif()

string(REGEX MATCH "^${numbers_pattern}" numbers "${base}")
set(QUORVA_VERSION "${version}")
set(QUORVA_VERSION_NUMBERS "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${commits}")
file(CONFIGURE OUTPUT "${OUTPUT}" @ONLY CONTENT [[
// Written by the build from git describe: do not edit.
#define QUORVA_VERSION "@QUORVA_VERSION@"
#define QUORVA_VERSION_NUMBERS @QUORVA_VERSION_NUMBERS@
]])
