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

# The kind of Wine prefix this tree's programs run in: scripts/with-wine reads it from the
# cache. A 64-bit prefix also runs the 32-bit programs that the cross-bitness tests start.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(PROJECT_WINE_ARCH win64 CACHE INTERNAL "")
    else()
        set(PROJECT_WINE_ARCH win32 CACHE INTERNAL "")
    endif()
endif()

# The build tree of the other bitness (the 64-bit preset names the 32-bit one). With it, the
# tests that need both bitnesses in one Wine session are added: a 64-bit session runs both.
set(PROJECT_OTHER_BITNESS_BUILD "" CACHE PATH "Build tree of the other bitness, for the cross-bitness tests")
set(PROJECT_CROSS_BITNESS_TESTS OFF)
if(PROJECT_OTHER_BITNESS_BUILD AND MINGW AND CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(PROJECT_CROSS_BITNESS_TESTS ON)
endif()

# project_wine_path(OUTPUT_VAR path): a Linux path as Windows programs under Wine name it.
function(project_wine_path out_var path)
    string(REPLACE "/" "\\" windows_path "Z:${path}")
    set(${out_var} ${windows_path} PARENT_SCOPE)
endfunction()

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

# A test that the built DLL imports only system libraries, and with the other bitness's build
# one that it exports the same names as the other bitness's DLL (MinGW cross build only: it
# reads the tables with the cross objdump).
function(project_check_imports target)
    if(MINGW AND CMAKE_CROSSCOMPILING)
        add_test(NAME ${target}.ImportsOnlySystemDlls
                 COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-imports $<TARGET_FILE:${target}>)
        set_tests_properties(${target}.ImportsOnlySystemDlls PROPERTIES ENVIRONMENT OBJDUMP=${CMAKE_OBJDUMP})
        if(PROJECT_CROSS_BITNESS_TESTS)
            add_test(NAME ${target}.ExportsTheNamesOfTheOtherBitness
                     COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-exports $<TARGET_FILE:${target}>
                             ${PROJECT_OTHER_BITNESS_BUILD}/bin/$<TARGET_FILE_NAME:${target}>)
            set_tests_properties(${target}.ExportsTheNamesOfTheOtherBitness PROPERTIES ENVIRONMENT OBJDUMP=${CMAKE_OBJDUMP})
        endif()
    endif()
endfunction()
