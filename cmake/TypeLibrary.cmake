# project_compile_typelib(OUTPUT_VAR idl-file): compiles an IDL file into a type library in
# the current binary dir with widl (MinGW) or MIDL (Visual Studio). The .tlb embeds its
# creation date, so it is generated in the build and never kept in the repository.
function(project_compile_typelib out_var idl)
    get_filename_component(name ${idl} NAME_WE)
    get_filename_component(idl_abs ${idl} ABSOLUTE)
    set(tlb ${CMAKE_CURRENT_BINARY_DIR}/${name}.tlb)
    if(MSVC)
        add_custom_command(OUTPUT ${tlb}
            COMMAND midl /nologo /win32 /tlb ${tlb} /h ${CMAKE_CURRENT_BINARY_DIR}/${name}_midl.h ${idl_abs}
            DEPENDS ${idl_abs} VERBATIM)
    else()
        find_program(PROJECT_WIDL widl REQUIRED)
        set(PROJECT_WIDL_INCLUDE /usr/include/wine/wine/windows CACHE PATH "IDL files widl imports")
        set(PROJECT_WIDL_LIBDIR /usr/lib/i386-linux-gnu/wine/i386-windows CACHE PATH "where widl finds stdole2.tlb")
        add_custom_command(OUTPUT ${tlb}
            COMMAND ${PROJECT_WIDL} -m32 -I ${PROJECT_WIDL_INCLUDE} -L ${PROJECT_WIDL_LIBDIR} -t -o ${tlb} ${idl_abs}
            DEPENDS ${idl_abs} VERBATIM)
    endif()
    set(${out_var} ${tlb} PARENT_SCOPE)
endfunction()
