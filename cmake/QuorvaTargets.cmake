# Conventions shared by every folder:
#  - a file ending in _win.cpp is compiled only into the Windows build,
#  - a file ending in _posix.cpp only into the native build,
#  - every other .cpp file is portable and compiled into both.

add_library(quorva_options INTERFACE)
target_compile_options(quorva_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Werror)
target_include_directories(quorva_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
if(WIN32)
    target_compile_definitions(quorva_options INTERFACE
        WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
    # One self-contained exe: without -static it needs the MinGW runtime DLLs.
    target_link_options(quorva_options INTERFACE -static)
    target_link_libraries(quorva_options INTERFACE
        ws2_32 comctl32 comdlg32 gdi32 user32 shell32 advapi32 winspool ole32 uuid version)
endif()

# The program's narrow strings are ANSI texts (Windows-1252 on the desk): its French literals,
# written naturally in the UTF-8 sources, are compiled to those bytes in both builds, so that they
# go to the ...A functions and meet settings, paths and file names as they are. (clang, used only
# for the fuzzers, knows no other execution character set than UTF-8.)
add_library(quorva_ansi_text INTERFACE)
target_compile_options(quorva_ansi_text INTERFACE $<$<CXX_COMPILER_ID:GNU>:-fexec-charset=CP1252>)

# The .cpp files of the current folder that belong to this build.
function(quorva_sources out)
    file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    set(result "")
    foreach(f IN LISTS all)
        if(f MATCHES "_win\\.cpp$")
            if(WIN32)
                list(APPEND result ${f})
            endif()
        elseif(f MATCHES "_posix\\.cpp$")
            if(NOT WIN32)
                list(APPEND result ${f})
            endif()
        else()
            list(APPEND result ${f})
        endif()
    endforeach()
    set(${out} ${result} PARENT_SCOPE)
endfunction()

# quorva_library(NAME [DEPS lib...] [EXCLUDE file...] [UTF8_TEXT]): one static library from the
# folder's sources. UTF8_TEXT keeps narrow literals in UTF-8 (the Linux report server).
function(quorva_library name)
    cmake_parse_arguments(ARG "UTF8_TEXT" "" "DEPS;EXCLUDE" ${ARGN})
    if(NOT ARG_UTF8_TEXT)
        list(APPEND ARG_DEPS quorva_ansi_text)
    endif()
    quorva_sources(srcs)
    foreach(f IN LISTS ARG_EXCLUDE)
        list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    endforeach()
    if(srcs)
        add_library(${name} STATIC ${srcs})
        target_link_libraries(${name} PUBLIC quorva_options ${ARG_DEPS})
    else()
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE quorva_options ${ARG_DEPS})
    endif()
endfunction()

# quorva_release_program(TARGET): in the release build, the desks get the program stripped; its
# debug information stays in <name>.debug beside it, which the exe names (.gnu_debuglink), to
# resolve a crash address with addr2line or gdb. Then it is signed with the dealership's
# certificate when one is given (installer/sign). The program is at the top of the build folder.
function(quorva_release_program target)
    if(NOT QUORVA_RELEASE)
        return()
    endif()
    set(exe ${target}.exe)
    set(debug ${target}.debug)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${exe} ${debug}
        COMMAND ${CMAKE_STRIP} --strip-all ${exe}
        COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${debug} ${exe}
        COMMAND ${PROJECT_SOURCE_DIR}/installer/sign ${exe}
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
endfunction()

macro(quorva_setup_test_framework)
    if(WIN32)
        # GoogleTest from Debian's sources, cross-built with the project.
        set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
        add_library(quorva_gtest_main ALIAS gtest_main)
    else()
        find_package(GTest REQUIRED)
        add_library(quorva_gtest_main ALIAS GTest::gtest_main)
    endif()
endmacro()


# A library cross-built into QUORVA_DEPS_PREFIX from Debian's source package for Windows
# (scripts/setup), Debian's -dev package natively: libjpeg-turbo, SQLite.
macro(quorva_find_dependency name archive package imported)
    if(WIN32)
        add_library(${name} STATIC IMPORTED GLOBAL)
        set_target_properties(${name} PROPERTIES
            IMPORTED_LOCATION ${QUORVA_DEPS_PREFIX}/lib/${archive}
            INTERFACE_INCLUDE_DIRECTORIES ${QUORVA_DEPS_PREFIX}/include)
    else()
        find_package(${package} REQUIRED)
        add_library(${name} ALIAS ${imported})
    endif()
endmacro()

# quorva_test(NAME SOURCES src... [LIBS lib...] [NATIVE] [WINDOWS])
# NATIVE: built and run in the native build; WINDOWS: in the Windows build, under Wine.
# Both may be given. Windows tests are registered as one ctest entry per executable.
function(quorva_test name)
    cmake_parse_arguments(ARG "NATIVE;WINDOWS" "" "SOURCES;LIBS" ${ARGN})
    if((WIN32 AND NOT ARG_WINDOWS) OR (NOT WIN32 AND NOT ARG_NATIVE))
        return()
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE quorva_options ${ARG_LIBS} GTest::gmock quorva_gtest_main)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    if(WIN32)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES TIMEOUT 600)
    else()
        include(GoogleTest)
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
    endif()
endfunction()
