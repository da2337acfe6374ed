# GoogleTest from the Debian source tree, built with whichever toolchain configures us;
# nothing is downloaded.
enable_testing()
include(GoogleTest)

set(PROJECT_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${PROJECT_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(MINGW)
    # GoogleTest's own sources trip a few warnings with mingw; they are not ours to fix.
    target_compile_options(gtest PRIVATE -w)
    target_compile_options(gtest_main PRIVATE -w)
endif()

# project_add_gtest(NAME SOURCES src... [LIBS lib...] [PROPERTIES prop value...])
# A GoogleTest executable whose tests CTest discovers when it runs (under Wine for the
# Windows build, where discovery itself needs the running Wine session). PROPERTIES are
# set on every discovered test (a RESOURCE_LOCK, for instance).
function(project_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest_main)
    if(WIN32)
        project_static_runtime(${name})
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
endfunction()

# A test that the built DLL imports only system libraries (MinGW cross build only: it reads
# the import table with the cross objdump).
function(project_check_imports target)
    if(MINGW AND CMAKE_CROSSCOMPILING)
        add_test(NAME ${target}.ImportsOnlySystemDlls
                 COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-imports $<TARGET_FILE:${target}>)
    endif()
endfunction()
