# Compiles each of SOURCES with COMPILER and FLAGS into OBJDIR, as a
# firmware project would; fails on the first file that does not compile
# cleanly, showing the command to repeat it.
#   cmake -DCOMPILER=cc "-DFLAGS=-Wall;..." "-DSOURCES=a.c;b.c" -DOBJDIR=dir -P compile-check.cmake
file(MAKE_DIRECTORY "${OBJDIR}")
foreach(src IN LISTS SOURCES)
    get_filename_component(base "${src}" NAME)
    set(cmd "${COMPILER}" ${FLAGS} -c "${src}" -o "${OBJDIR}/${base}.o")
    execute_process(COMMAND ${cmd} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    list(JOIN cmd " " shown)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "does not compile cleanly: ${src}\n${shown}\n${out}")
    endif()
    message(STATUS "compiles cleanly: ${src}")
endforeach()
