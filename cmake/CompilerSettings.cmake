# Warnings, static runtime and sanitizers, applied to every target of the tree.

if(MSVC)
    add_compile_options(/W4 /utf-8 /permissive-)
    add_compile_definitions(_CRT_SECURE_NO_WARNINGS NOMINMAX WIN32_LEAN_AND_MEAN UNICODE _UNICODE)
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
    add_compile_options(-Wall -Wextra)
    if(WIN32)
        add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN UNICODE _UNICODE _WIN32_WINNT=0x0601)
        # The product must run from a bare folder: no libgcc, libstdc++ or
        # winpthread DLLs beside it.
        add_link_options(-static -static-libgcc -static-libstdc++)
    endif()
endif()

function(zorvi_apply_sanitizers)
    if(ZORVI_SANITIZE AND NOT WIN32 AND NOT MSVC)
        add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                            -fno-sanitize-recover=undefined)
        add_link_options(-fsanitize=address,undefined)
    endif()
    # ThreadSanitizer excludes the other two: a preset of its own (native-tsan).
    if(ZORVI_TSAN AND NOT WIN32 AND NOT MSVC)
        add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
        add_link_options(-fsanitize=thread)
    endif()
endfunction()
