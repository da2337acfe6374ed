# project_compile_typelib(OUTPUT_VAR idl-file): compiles an IDL file into a type library in
# the current binary dir with widl (MinGW) or MIDL (Visual Studio). The .tlb embeds its
# creation date, so it is generated in the build and never kept in the repository.
# The library is made for the target's bitness (SYS_WIN32 or SYS_WIN64): registration files
# it under that platform's subkey of the TypeLib key, which both bitnesses share.
function(project_compile_typelib out_var idl)
    get_filename_component(name ${idl} NAME_WE)
    get_filename_component(idl_abs ${idl} ABSOLUTE)
    set(tlb ${CMAKE_CURRENT_BINARY_DIR}/${name}.tlb)
    if(MSVC)
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            set(environment x64)
        else()
            set(environment win32)
        endif()
        add_custom_command(OUTPUT ${tlb}
            COMMAND midl /nologo /env ${environment} /tlb ${tlb} /h ${CMAKE_CURRENT_BINARY_DIR}/${name}_midl.h ${idl_abs}
            DEPENDS ${idl_abs} VERBATIM)
    else()
        find_program(PROJECT_WIDL widl REQUIRED)
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            set(bits 64)
            set(libdir /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
        else()
            set(bits 32)
            set(libdir /usr/lib/i386-linux-gnu/wine/i386-windows)
        endif()
        set(PROJECT_WIDL_INCLUDE /usr/include/wine/wine/windows CACHE PATH "IDL files widl imports")
        set(PROJECT_WIDL_LIBDIR ${libdir} CACHE PATH "where widl finds stdole2.tlb")
        add_custom_command(OUTPUT ${tlb}
            COMMAND ${PROJECT_WIDL} -m${bits} -I ${PROJECT_WIDL_INCLUDE} -L ${PROJECT_WIDL_LIBDIR} -t -o ${tlb} ${idl_abs}
            DEPENDS ${idl_abs} VERBATIM)
    endif()
    set(${out_var} ${tlb} PARENT_SCOPE)
endfunction()
