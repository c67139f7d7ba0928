# Windows: DLLs that the program loads only when one of their functions is first called, so
# that the start (the warning box) does not wait for them. For each, an import library of the
# delay-loading kind is made at configure time from the toolchain's own import library (every
# function it names), with the toolchain's dlltool; the helper that loads them at the first
# call is the C runtime's (__delayLoadHelper2, in libmingwex).
#
#   orvalis_delay_load(TARGET NAME DLL)
# makes the INTERFACE library TARGET that links the delay-loading import library of DLL, made
# from the toolchain's libNAME.a.
function(orvalis_delay_load target name dll)
    find_library(orvalis_import_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
    set(folder ${PROJECT_BINARY_DIR}/delay_load)
    set(def ${folder}/${name}.def)
    set(library ${folder}/lib${name}_delayed.a)
    file(MAKE_DIRECTORY ${folder})
    execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${orvalis_import_${name}}
                    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    # A function has a code symbol "T NAME" beside its "I __imp_NAME"; data cannot wait.
    string(REGEX MATCHALL "[0-9a-fA-F]+ T [A-Za-z_][A-Za-z0-9_]*" code "${symbols}")
    set(text "LIBRARY ${dll}\nEXPORTS\n")
    set(seen "")
    foreach(line IN LISTS code)
        string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" function "${line}")
        if(NOT function IN_LIST seen AND symbols MATCHES " I __imp_${function}\n")
            list(APPEND seen ${function})
            string(APPEND text "    ${function}\n")
        endif()
    endforeach()
    if(NOT seen)
        message(FATAL_ERROR "no functions found in ${orvalis_import_${name}}")
    endif()
    file(WRITE ${def}.new "${text}")
    file(COPY_FILE ${def}.new ${def} ONLY_IF_DIFFERENT)
    if(NOT EXISTS ${library} OR ${def} IS_NEWER_THAN ${library})
        # Names relative to the folder: dlltool writes the library's name into its members'
        # names and symbols, and a release must not depend on where it is built.
        execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${name}.def --dllname ${dll}
                                --output-delaylib lib${name}_delayed.a
                        WORKING_DIRECTORY ${folder} COMMAND_ERROR_IS_FATAL ANY)
    endif()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ${library})
endfunction()
