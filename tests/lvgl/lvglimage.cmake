# Runs LVGLImage.py on INPUT into a folder of its own and moves the one file
# it writes to OUTPUT: C when OUTPUT ends in .c (its variable named after
# OUTPUT), the binary file when it ends in .bin.
#   cmake -DPYTHON=python3 -DSCRIPT=LVGLImage.py -DINPUT=in.png -DOUTPUT=out.c "-DARGS=--cf;ARGB8888" -P lvglimage.cmake
get_filename_component(name "${OUTPUT}" NAME_WE)
get_filename_component(ext "${OUTPUT}" LAST_EXT)
if(ext STREQUAL ".c")
    set(ofmt C)
elseif(ext STREQUAL ".bin")
    set(ofmt BIN)
else()
    message(FATAL_ERROR "LVGLImage.py output must end in .c or .bin: ${OUTPUT}")
endif()
set(work "${OUTPUT}.work")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/in" "${work}/out")
# A copy named as the output, so that the BIN file is named after it too.
file(COPY_FILE "${INPUT}" "${work}/in/${name}.png")
execute_process(COMMAND "${PYTHON}" "${SCRIPT}" --ofmt ${ofmt} ${ARGS} --name ${name} -o "${work}/out" "${work}/in/${name}.png"
                WORKING_DIRECTORY "${work}" RESULT_VARIABLE rc)
file(GLOB_RECURSE made "${work}/out/*${ext}")
list(LENGTH made n)
if(NOT rc EQUAL 0 OR NOT n EQUAL 1)
    file(REMOVE_RECURSE "${work}")
    message(FATAL_ERROR "LVGLImage.py failed on ${INPUT} (exit ${rc}, ${n} files made)")
endif()
file(RENAME "${made}" "${OUTPUT}")
file(REMOVE_RECURSE "${work}")
