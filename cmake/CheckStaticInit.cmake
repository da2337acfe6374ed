# Fails when one of a library's own object files defines a dynamic initialiser: a global
# object with a constructor or destructor would then run code before the entry point sets
# up the module, or after detach has destroyed its heaps.
#   cmake -DNM=nm -DOBJECT_LIST=file -DSTAMP=file -P CheckStaticInit.cmake
file(STRINGS "${OBJECT_LIST}" objects)
set(offenders "")
foreach(object IN LISTS objects)
    execute_process(COMMAND "${NM}" --defined-only "${object}"
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${NM} failed on ${object}")
    endif()
    string(REGEX MATCHALL "_GLOBAL__sub_I[A-Za-z0-9_]*" initialisers "${symbols}")
    if(initialisers)
        list(APPEND offenders "${object}: ${initialisers}")
    endif()
endforeach()
if(offenders)
    list(JOIN offenders "\n  " text)
    message(FATAL_ERROR "static initialisers in the library:\n  ${text}")
endif()
list(LENGTH objects count)
message(STATUS "no static initialisers in ${count} object files")
file(TOUCH "${STAMP}")
