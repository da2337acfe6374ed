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

# A build step that fails when an object file of the target or of the object libraries it
# links defines a static initialiser (cmake/CheckStaticInit.cmake says why). MinGW only: it
# reads the objects with the cross nm.
#   project_check_no_static_init(target [object-library...])
function(project_check_no_static_init target)
    if(MSVC OR NOT CMAKE_NM)
        return()
    endif()
    set(objects "$<TARGET_OBJECTS:${target}>")
    foreach(library IN LISTS ARGN)
        list(APPEND objects "$<TARGET_OBJECTS:${library}>")
    endforeach()
    set(object_list ${CMAKE_CURRENT_BINARY_DIR}/${target}-objects.txt)
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}-no-static-init.stamp)
    file(GENERATE OUTPUT ${object_list} CONTENT "$<JOIN:${objects},\n>\n")
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DOBJECT_LIST=${object_list} -DSTAMP=${stamp}
                -P ${PROJECT_SOURCE_DIR}/cmake/CheckStaticInit.cmake
        DEPENDS ${objects} ${PROJECT_SOURCE_DIR}/cmake/CheckStaticInit.cmake
        COMMENT "Checking ${target}'s objects for static initialisers"
        VERBATIM)
    add_custom_target(${target}_no_static_init ALL DEPENDS ${stamp})
    add_dependencies(${target}_no_static_init ${target})
endfunction()
