# Runs COMMAND (a list) and writes its standard output to OUTPUT; fails,
# leaving no OUTPUT, when the command fails.
#   cmake "-DCOMMAND=prog;arg..." -DOUTPUT=file -P run-to-file.cmake
execute_process(COMMAND ${COMMAND} OUTPUT_FILE "${OUTPUT}.part" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    file(REMOVE "${OUTPUT}.part")
    list(JOIN COMMAND " " shown)
    message(FATAL_ERROR "failed (${rc}): ${shown}")
endif()
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
