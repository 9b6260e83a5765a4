# Windows test programs run under Wine. One private WINEPREFIX, one Xvfb display
# (when none is set) and one persistent wineserver serve the whole CTest run: the
# fixture test "wine.setup" starts them, "wine.cleanup" stops every process it
# started. Starting a Windows process costs seconds, so each Windows test program
# is one CTest test, not one test per case.

set(ZORVI_WINE_ENV ${CMAKE_SOURCE_DIR}/tools/wine/wine-env.sh)
set(ZORVI_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(ZORVI_ARTIFACTS ${CMAKE_BINARY_DIR}/artifacts)

# A 32-bit build runs in a 32-bit prefix, as on a 32-bit Windows.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(ZORVI_WINE_ARCH win32)
else()
    set(ZORVI_WINE_ARCH win64)
endif()
add_test(NAME wine.setup COMMAND ${ZORVI_WINE_ENV} start ${ZORVI_WINE_STATE})
set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine RESOURCE_LOCK wine TIMEOUT 120
                                           ENVIRONMENT "ZORVI_WINE_ARCH=${ZORVI_WINE_ARCH}")
add_test(NAME wine.cleanup COMMAND ${ZORVI_WINE_ENV} stop ${ZORVI_WINE_STATE})
set_tests_properties(wine.cleanup PROPERTIES FIXTURES_CLEANUP wine RESOURCE_LOCK wine TIMEOUT 120)

# Both kinds of Wine test: one test of the run's Wine fixture, never two at a time,
# with the run's environment plus the test's own (ENVIRONMENT).
function(zorvi_add_wine_test_with_environment name timeout command environment)
    add_test(NAME ${name} COMMAND ${command})
    set_tests_properties(${name} PROPERTIES
        FIXTURES_REQUIRED wine
        RESOURCE_LOCK wine
        TIMEOUT ${timeout}
        ENVIRONMENT "ZORVI_WINE_STATE=${ZORVI_WINE_STATE};ZORVI_ARTIFACTS=${ZORVI_ARTIFACTS};${environment}")
endfunction()

# zorvi_add_wine_test(NAME <name> COMMAND <target-or-program> [args...] [TIMEOUT <s>])
# Runs a Windows program (a target of this build, resolved to its .exe) under the
# run's Wine environment. Extra environment for the test goes through ENVIRONMENT.
function(zorvi_add_wine_test)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "COMMAND;ENVIRONMENT" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    zorvi_add_wine_test_with_environment(${ARG_NAME} ${ARG_TIMEOUT} "${ARG_COMMAND}"
        "${ARG_ENVIRONMENT}")
endfunction()

# zorvi_add_wine_script_test(NAME <name> COMMAND <script> [args...])
# A Linux-side script (an end-to-end test, say) that itself starts Windows
# programs with tools/wine/wine-run.sh in the run's Wine environment.
function(zorvi_add_wine_script_test)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "COMMAND;ENVIRONMENT" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 600)
    endif()
    zorvi_add_wine_test_with_environment(${ARG_NAME} ${ARG_TIMEOUT} "${ARG_COMMAND}"
        "ZORVI_WINE_RUN=${CMAKE_SOURCE_DIR}/tools/wine/wine-run.sh;ZORVI_BIN=${CMAKE_BINARY_DIR}/bin;${ARG_ENVIRONMENT}")
endfunction()
