# Linux programs that the Windows test tree needs beside its Windows targets (the
# simulated instrument and boot loader serve pseudo-terminals that Wine sees as COM
# ports). The targets of a cross build are Windows ones, so these are compiled with
# the host's compiler by a custom command.
find_program(ZORVI_HOST_CXX NAMES g++ c++ REQUIRED)

# zorvi_add_host_program(<target> <output file> <sources...>)
function(zorvi_add_host_program target output)
    set(sources ${ARGN})
    get_filename_component(dir ${output} DIRECTORY)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${ZORVI_HOST_CXX} -std=c++20 -O1 -Wall -Wextra -I${PROJECT_SOURCE_DIR}
                -I${PROJECT_SOURCE_DIR}/tools/instrument-sim ${sources} -o ${output}
        DEPENDS ${sources}
        COMMENT "Building ${target} with the host compiler"
        VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()
