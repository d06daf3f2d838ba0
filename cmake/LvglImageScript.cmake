# zentraq_find_lvglimage(PY PYTHON MISSING)
# LVGL's own image converter, LVGLImage.py, from the LVGL 9.5.0 archive in
# ../shared/reference (only that file unpacked, into the build folder), and a
# python3 that has the modules it needs (Debian's python3-png and
# python3-lz4). Sets PY and PYTHON, and MISSING to why they cannot run (empty
# when they can). The LVGL checks' own LVGLImage.py is taken when they found
# one.
function(zentraq_find_lvglimage py python missing)
    if(ZENTRAQ_LVGLIMAGE_PY AND ZENTRAQ_LVGLIMAGE_PYTHON)
        set(${py} "${ZENTRAQ_LVGLIMAGE_PY}" PARENT_SCOPE)
        set(${python} "${ZENTRAQ_LVGLIMAGE_PYTHON}" PARENT_SCOPE)
        set(${missing} "" PARENT_SCOPE)
        return()
    endif()
    get_filename_component(archive "${PROJECT_SOURCE_DIR}/../shared/reference/lvgl-9.5.0.tar.gz" ABSOLUTE)
    set(unpacked "${CMAKE_BINARY_DIR}/lvglimage-script")
    set(script "${unpacked}/lvgl-9.5.0/scripts/LVGLImage.py")
    if(EXISTS "${archive}" AND NOT EXISTS "${script}")
        file(ARCHIVE_EXTRACT INPUT "${archive}" DESTINATION "${unpacked}" PATTERNS "*/scripts/LVGLImage.py")
    endif()
    execute_process(COMMAND /usr/bin/python3 -c "import png, lz4.block"
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
    set(why "")
    if(NOT EXISTS "${script}")
        set(why "${archive} not found")
    elseif(NOT rc EQUAL 0)
        set(why "LVGLImage.py needs /usr/bin/python3 with png and lz4 (Debian python3-png, python3-lz4)")
    endif()
    set(${py} "${script}" PARENT_SCOPE)
    set(${python} /usr/bin/python3 PARENT_SCOPE)
    set(${missing} "${why}" PARENT_SCOPE)
endfunction()
