# Compiler and linker options shared by the targets, kept apart per toolchain so that the
# tree also configures with Visual Studio.

if(MSVC)
    add_compile_options(/W4 /permissive-)
    add_compile_definitions(_CRT_SECURE_NO_WARNINGS)
else()
    add_compile_options(-Wall -Wextra $<$<COMPILE_LANGUAGE:CXX>:-Wno-cast-function-type>)
endif()

if(WIN32)
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

if(NOT WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    # The host build exists to run the platform-free code under the sanitizers.
    option(PROJECT_SANITIZE "Build the host tests with AddressSanitizer and UBSan" ON)
    if(PROJECT_SANITIZE)
        add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                            -fno-omit-frame-pointer)
        add_link_options(-fsanitize=address,undefined)
    endif()
endif()

# Links a Windows executable or DLL so that it imports only system DLLs (with MinGW the
# C++ runtime and winpthreads are linked in statically).
function(project_static_runtime target)
    if(MINGW)
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    elseif(MSVC)
        set_property(TARGET ${target} PROPERTY
            MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    endif()
endfunction()

# Options of a delivered DLL: static runtime, stripped, undecorated stdcall exports
# (the .def file names them).
function(project_deliverable_options target)
    project_static_runtime(${target})
    if(MINGW)
        target_link_options(${target} PRIVATE -s -Wl,--enable-stdcall-fixup)
    endif()
endfunction()
