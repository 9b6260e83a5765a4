# GoogleTest for the MinGW build, compiled from the sources Debian ships in
# /usr/src/googletest (libgtest-dev only carries Linux binaries).
if(TARGET GTest::gtest_main)
    return()
endif()
set(ZORVI_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZORVI_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
# GoogleTest 1.12 defines the GTest:: aliases itself.
