# Checks against the embedded GUI libraries and their own converters: LVGL
# v9.5.0 and v8.3.11 built on the host, lv_font_conv, Adafruit GFX's
# fontconvert and LVGL's LVGLImage.py. Included from tests/CMakeLists.txt, so
# every test folder sees the variables and functions below.
#
# Everything comes from ZENTRAQ_REFERENCE_DIR (the archives) and from Debian
# packages; lv_font_conv is installed once from npm into the build folder.
# What is missing is not an error: each test that needs it is still
# registered and skips with one line naming what is missing.
#
# Requirement keys (REQUIRES of the functions below):
#   lvgl9 lvgl8     the LVGL archives
#   lv_font_conv    lv_font_conv 1.5.3 (node and npm, or ZENTRAQ_LV_FONT_CONV)
#   fontconvert     fontconvert from the Adafruit GFX archive
#   lvglimage       LVGLImage.py from the LVGL 9.5.0 archive, with python3-png and python3-lz4
#   pngquant        pngquant, which LVGLImage.py needs for the indexed formats
#   u8g2            bdfconv and otf2bdf from the u8g2 archive, and its library's drawing code
#   pcf2bdf         Debian's pcf2bdf, which writes a PCF font as BDF for bdfconv
#   a client name   a client made by zentraq_add_lvgl_client
#   /absolute/path  a file that must exist (a font of a Debian package, say)

option(ZENTRAQ_LVGL_CHECKS
       "Build LVGL on the host and run the checks against it and the reference converters" ON)
set(ZENTRAQ_REFERENCE_DIR "${PROJECT_SOURCE_DIR}/../shared/reference" CACHE PATH
    "Folder with lvgl-9.5.0.tar.gz, lvgl-8.3.11.tar.gz, adafruit-gfx-1.12.6.tar.gz and u8g2-2.37.1.tar.gz")
set(ZENTRAQ_LV_FONT_CONV "" CACHE FILEPATH
    "lv_font_conv 1.5.3 to use; empty: installed from npm into the build folder")

set(ZENTRAQ_LVGL_HARNESS_DIR "${CMAKE_CURRENT_LIST_DIR}")
set(ZENTRAQ_LVGL_WORK "${CMAKE_BINARY_DIR}/lvgl-reference")
get_filename_component(_zl_refdir "${ZENTRAQ_REFERENCE_DIR}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")

# Why each requirement key is unavailable; empty when it is there.
function(_zl_set_missing key reason)
    set_property(GLOBAL PROPERTY ZENTRAQ_LVGL_MISSING_${key} "${reason}")
endfunction()

# Unpacks ARCHIVE into DEST/NAME once; again only when the archive changes.
function(_zl_unpack archive dest name)
    file(MD5 "${archive}" sum)
    set(stamp "${dest}/${name}.stamp")
    if(EXISTS "${stamp}" AND IS_DIRECTORY "${dest}/${name}")
        file(READ "${stamp}" old)
        if(old STREQUAL sum)
            return()
        endif()
    endif()
    file(REMOVE_RECURSE "${dest}/${name}" "${dest}/${name}.unpack")
    file(ARCHIVE_EXTRACT INPUT "${archive}" DESTINATION "${dest}/${name}.unpack")
    file(GLOB top LIST_DIRECTORIES true "${dest}/${name}.unpack/*")
    list(LENGTH top n)
    if(NOT n EQUAL 1)
        message(FATAL_ERROR "${archive}: expected one top folder, found ${n}")
    endif()
    file(RENAME "${top}" "${dest}/${name}")
    file(REMOVE_RECURSE "${dest}/${name}.unpack")
    file(WRITE "${stamp}" "${sum}")
endfunction()

if(ZENTRAQ_LVGL_CHECKS)
    enable_language(C)

    # LVGL sources: <work>/v9/lvgl and <work>/v8/lvgl, so that both
    # "lvgl.h" and "lvgl/lvgl.h" resolve, as converters' output expects.
    foreach(v 9 8)
        if(v EQUAL 9)
            set(archive "${_zl_refdir}/lvgl-9.5.0.tar.gz")
        else()
            set(archive "${_zl_refdir}/lvgl-8.3.11.tar.gz")
        endif()
        if(EXISTS "${archive}")
            _zl_unpack("${archive}" "${ZENTRAQ_LVGL_WORK}/v${v}" lvgl)
            _zl_set_missing(lvgl${v} "")
        else()
            _zl_set_missing(lvgl${v} "${archive} not found (set ZENTRAQ_REFERENCE_DIR)")
        endif()
    endforeach()

    # Adafruit GFX: fontconvert, built against Debian's FreeType.
    set(archive "${_zl_refdir}/adafruit-gfx-1.12.6.tar.gz")
    if(EXISTS "${archive}")
        _zl_unpack("${archive}" "${ZENTRAQ_LVGL_WORK}" adafruit-gfx)
        set(ZENTRAQ_GFX_DIR "${ZENTRAQ_LVGL_WORK}/adafruit-gfx")
        add_executable(zentraq_fontconvert "${ZENTRAQ_GFX_DIR}/fontconvert/fontconvert.c")
        set_target_properties(zentraq_fontconvert PROPERTIES
            OUTPUT_NAME fontconvert RUNTIME_OUTPUT_DIRECTORY "${ZENTRAQ_LVGL_WORK}/bin"
            COMPILE_OPTIONS "-w" LINK_OPTIONS "")
        target_link_libraries(zentraq_fontconvert PRIVATE Freetype::Freetype)
        set_target_properties(zentraq_fontconvert PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
        _zl_set_missing(fontconvert "")
    else()
        set(ZENTRAQ_GFX_DIR "")
        _zl_set_missing(fontconvert "${archive} not found (set ZENTRAQ_REFERENCE_DIR)")
    endif()

    # lv_font_conv: the given one, or npm's, installed once into the build folder.
    set(_zl_lvfc "${ZENTRAQ_LV_FONT_CONV}")
    if(NOT _zl_lvfc)
        set(prefix "${ZENTRAQ_LVGL_WORK}/lv_font_conv")
        set(_zl_lvfc "${prefix}/node_modules/.bin/lv_font_conv")
        set(pkg "${prefix}/node_modules/lv_font_conv/package.json")
        set(have "")
        if(EXISTS "${pkg}")
            file(READ "${pkg}" have)
        endif()
        find_program(ZENTRAQ_NPM npm)
        find_program(ZENTRAQ_NODE node)
        if(NOT have MATCHES "\"version\": *\"1\\.5\\.3\"")
            if(ZENTRAQ_NPM AND ZENTRAQ_NODE)
                message(STATUS "Installing lv_font_conv 1.5.3 from npm into ${prefix}")
                execute_process(
                    COMMAND "${ZENTRAQ_NPM}" install --prefix "${prefix}" --cache "${prefix}/npm-cache"
                            --no-audit --no-fund --fetch-retries=1 lv_font_conv@1.5.3
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 300)
                if(NOT rc EQUAL 0)
                    string(REGEX REPLACE "\n.*" "" first "${out}")
                    message(STATUS "lv_font_conv not installed: npm: ${first}")
                    file(REMOVE_RECURSE "${prefix}/node_modules")
                endif()
            endif()
        endif()
    endif()
    if(NOT EXISTS "${_zl_lvfc}")
        _zl_set_missing(lv_font_conv
            "lv_font_conv 1.5.3 not available (needs node and npm and the npm registry, or ZENTRAQ_LV_FONT_CONV)")
        set(ZENTRAQ_LV_FONT_CONV_PROGRAM "")
    else()
        _zl_set_missing(lv_font_conv "")
        set(ZENTRAQ_LV_FONT_CONV_PROGRAM "${_zl_lvfc}")
    endif()

    # LVGLImage.py runs with Debian's python3, where python3-png and
    # python3-lz4 live (a python3 earlier on PATH may lack them).
    set(ZENTRAQ_LVGLIMAGE_PY "${ZENTRAQ_LVGL_WORK}/v9/lvgl/scripts/LVGLImage.py")
    set(ZENTRAQ_LVGLIMAGE_PYTHON "")
    find_program(_zl_path_python python3)
    foreach(py /usr/bin/python3 ${_zl_path_python})
        if(NOT ZENTRAQ_LVGLIMAGE_PYTHON AND EXISTS "${py}")
            execute_process(COMMAND "${py}" -c "import png, lz4.block"
                            RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
            if(rc EQUAL 0)
                set(ZENTRAQ_LVGLIMAGE_PYTHON "${py}")
            endif()
        endif()
    endforeach()
    get_property(no9 GLOBAL PROPERTY ZENTRAQ_LVGL_MISSING_lvgl9)
    if(no9)
        _zl_set_missing(lvglimage "${no9}")
    elseif(NOT ZENTRAQ_LVGLIMAGE_PYTHON)
        _zl_set_missing(lvglimage
            "LVGLImage.py needs python3 with the modules png and lz4 (Debian python3-png, python3-lz4)")
    else()
        _zl_set_missing(lvglimage "")
    endif()
    # u8g2: its font converter bdfconv, otf2bdf (Debian's lacks -a), and
    # the library's drawing code for a display in memory.
    set(archive "${_zl_refdir}/u8g2-2.37.1.tar.gz")
    if(EXISTS "${archive}")
        _zl_unpack("${archive}" "${ZENTRAQ_LVGL_WORK}" u8g2)
        set(ZENTRAQ_U8G2_DIR "${ZENTRAQ_LVGL_WORK}/u8g2")
        file(GLOB sources "${ZENTRAQ_U8G2_DIR}/tools/font/bdfconv/*.c")
        add_executable(zentraq_bdfconv ${sources})
        add_executable(zentraq_otf2bdf "${ZENTRAQ_U8G2_DIR}/tools/font/otf2bdf/otf2bdf.c"
                                       "${ZENTRAQ_U8G2_DIR}/tools/font/otf2bdf/remap.c")
        target_link_libraries(zentraq_otf2bdf PRIVATE Freetype::Freetype)
        set(u8g2_sources "")
        foreach(f u8g2_setup u8g2_buffer u8g2_font u8g2_hvline u8g2_ll_hvline u8g2_intersection
                  u8g2_kerning u8x8_setup u8x8_display u8x8_8x8 u8x8_cad u8x8_byte u8x8_gpio
                  u8x8_capture u8x8_u16toa)
            list(APPEND u8g2_sources "${ZENTRAQ_U8G2_DIR}/csrc/${f}.c")
        endforeach()
        add_library(zentraq_u8g2 STATIC ${u8g2_sources}
                    "${ZENTRAQ_U8G2_DIR}/sys/bitmap/common/u8x8_d_bitmap.c")
        target_include_directories(zentraq_u8g2 SYSTEM PUBLIC "${ZENTRAQ_U8G2_DIR}/csrc")
        foreach(t zentraq_bdfconv zentraq_otf2bdf zentraq_u8g2)
            # Third-party code: its warnings are not ours, and it is never sanitized.
            set_target_properties(${t} PROPERTIES COMPILE_OPTIONS "-w" LINK_OPTIONS ""
                RUNTIME_OUTPUT_DIRECTORY "${ZENTRAQ_LVGL_WORK}/bin"
                ARCHIVE_OUTPUT_DIRECTORY "${ZENTRAQ_LVGL_WORK}/u8g2-build" C_STANDARD 99 C_EXTENSIONS ON
                AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
        endforeach()
        set_target_properties(zentraq_bdfconv PROPERTIES OUTPUT_NAME bdfconv)
        set_target_properties(zentraq_otf2bdf PROPERTIES OUTPUT_NAME otf2bdf)
        _zl_set_missing(u8g2 "")
    else()
        set(ZENTRAQ_U8G2_DIR "")
        _zl_set_missing(u8g2 "${archive} not found (set ZENTRAQ_REFERENCE_DIR)")
    endif()
    find_program(ZENTRAQ_PCF2BDF pcf2bdf)
    if(ZENTRAQ_PCF2BDF)
        _zl_set_missing(pcf2bdf "")
    else()
        _zl_set_missing(pcf2bdf "pcf2bdf not found (Debian pcf2bdf)")
    endif()

    find_program(ZENTRAQ_PNGQUANT pngquant)
    if(ZENTRAQ_PNGQUANT)
        _zl_set_missing(pngquant "")
    else()
        _zl_set_missing(pngquant "pngquant not found (Debian pngquant, which LVGLImage.py needs for I1-I8)")
    endif()
endif()
# Any python3 runs the test-side scripts, which use the standard library only.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Plain C targets: none of Qt's code generators.
function(_zl_plain_c target)
    set_target_properties(${target} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
endfunction()

# Why the requirements in ARGN are unavailable, one reason a line; empty when all are there.
function(zentraq_lvgl_missing out)
    set(reasons "")
    if(NOT ZENTRAQ_LVGL_CHECKS)
        set(reasons "LVGL checks are off in this build (ZENTRAQ_LVGL_CHECKS=OFF): the release build runs them")
    else()
        foreach(req IN LISTS ARGN)
            if(req MATCHES "^/")
                if(NOT EXISTS "${req}")
                    list(APPEND reasons "${req} not found")
                endif()
                continue()
            endif()
            get_property(known GLOBAL PROPERTY ZENTRAQ_LVGL_MISSING_${req} SET)
            if(NOT known)
                message(FATAL_ERROR "unknown LVGL check requirement '${req}'")
            endif()
            get_property(why GLOBAL PROPERTY ZENTRAQ_LVGL_MISSING_${req})
            if(why)
                list(APPEND reasons "${why}")
            endif()
        endforeach()
    endif()
    list(REMOVE_DUPLICATES reasons)
    list(JOIN reasons ", and " reasons)  # no semicolon: test arguments are lists
    set(${out} "${reasons}" PARENT_SCOPE)
endfunction()

# A test that says why it cannot run and is counted as skipped.
function(_zl_add_skip_test name reason)
    add_test(NAME ${name} COMMAND sh -c "printf '%s\\n' \"$1\"; exit 77" sh "SKIPPED: ${reason}")
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 LABELS lvgl)
endfunction()

# lv_conf.h for one library variant, made from the template of the archive.
function(_zl_write_conf version variant_dir depth large decoders)
    set(lvgl "${ZENTRAQ_LVGL_WORK}/v${version}/lvgl")
    file(READ "${lvgl}/lv_conf_template.h" conf)
    string(FIND "${conf}" "#if 0" at)
    if(at LESS 0)
        message(FATAL_ERROR "${lvgl}/lv_conf_template.h: no '#if 0' to enable")
    endif()
    string(SUBSTRING "${conf}" 0 ${at} head)
    math(EXPR at "${at} + 5")
    string(SUBSTRING "${conf}" ${at} -1 tail)
    set(conf "${head}#if 1${tail}")

    set(swap 0)
    if(depth STREQUAL "16-swap")
        set(depth 16)
        set(swap 1)
    endif()
    set(settings
        LV_COLOR_DEPTH ${depth}
        LV_USE_FONT_COMPRESSED 1
        LV_FONT_FMT_TXT_LARGE ${large}
        LV_USE_FS_STDIO 1
        LV_FS_STDIO_LETTER "'A'"
        LV_USE_THEME_DEFAULT 0
        LV_USE_LOG 1
        LV_LOG_PRINTF 1
        LV_ASSERT_HANDLER_INCLUDE "<stdlib.h>"
        LV_ASSERT_HANDLER "abort()@SEMICOLON@")  # a list cannot hold a semicolon
    if(decoders)
        # LVGL's own decoders of picture files: lv_gif and the PNG decoder.
        list(APPEND settings LV_USE_GIF 1 LV_USE_LODEPNG 1)
    endif()
    if(version EQUAL 9)
        list(APPEND settings
            LV_MEM_SIZE "(4 * 1024 * 1024U)"
            LV_USE_RLE 1
            LV_BIN_DECODER_RAM_LOAD 1  # compressed image files need it
            LV_USE_LZ4_INTERNAL 1
            LV_BUILD_EXAMPLES 0
            LV_BUILD_DEMOS 0)
    else()
        list(APPEND settings
            LV_MEM_SIZE "(4U * 1024U * 1024U)"
            LV_COLOR_16_SWAP ${swap}
            LV_BUILD_EXAMPLES 0)
    endif()
    while(settings)
        list(POP_FRONT settings name value)
        set(re "\n([ \t]*#define[ \t]+${name})[ \t][^\n]*")
        string(REGEX MATCHALL "\n[ \t]*#define[ \t]+${name}[ \t]" hits "${conf}")
        list(LENGTH hits n)
        if(NOT n EQUAL 1)
            message(FATAL_ERROR "${lvgl}/lv_conf_template.h: ${n} definitions of ${name}, expected one")
        endif()
        string(REGEX REPLACE "${re}" "\n\\1 ${value}" conf "${conf}")
    endwhile()
    string(REPLACE "@SEMICOLON@" ";" conf "${conf}")

    # Written only when it changes, so that a new configure rebuilds nothing.
    set(path "${variant_dir}/lv_conf.h")
    set(old "")
    if(EXISTS "${path}")
        file(READ "${path}" old)
    endif()
    if(NOT old STREQUAL conf)
        file(WRITE "${path}" "${conf}")
    endif()
endfunction()

# Usage requirements shared by everything that includes LVGL's headers.
function(_zl_lvgl_interface target version variant_dir)
    set(root "${ZENTRAQ_LVGL_WORK}/v${version}")
    target_include_directories(${target} SYSTEM INTERFACE "${variant_dir}" "${root}" "${root}/lvgl")
    target_compile_definitions(${target} INTERFACE LV_CONF_INCLUDE_SIMPLE LV_LVGL_H_INCLUDE_SIMPLE)
endfunction()

# zentraq_lvgl_library(OUT VERSION 9|8 [COLOR_DEPTH 32|16|16-swap] [LARGE_FONTS] [DECODERS])
# Sets OUT to the harness library of that LVGL build (a static LVGL library
# plus the harness, built on first use); the caller must have checked that
# lvgl<VERSION> is available. DECODERS: with lv_gif and the PNG decoder.
function(zentraq_lvgl_library out)
    cmake_parse_arguments(L "LARGE_FONTS;DECODERS" "VERSION;COLOR_DEPTH" "" ${ARGN})
    if(NOT L_VERSION MATCHES "^(8|9)$")
        message(FATAL_ERROR "zentraq_lvgl_library: VERSION must be 9 or 8")
    endif()
    if(NOT L_COLOR_DEPTH)
        set(L_COLOR_DEPTH 32)
    endif()
    if(NOT L_COLOR_DEPTH MATCHES "^(32|16|16-swap)$" OR (L_VERSION EQUAL 9 AND NOT L_COLOR_DEPTH STREQUAL "32"))
        message(FATAL_ERROR "zentraq_lvgl_library: COLOR_DEPTH 32, or 16 / 16-swap with VERSION 8")
    endif()
    set(variant "lvgl${L_VERSION}")
    if(NOT L_COLOR_DEPTH STREQUAL "32")
        string(REPLACE "-" "" d "${L_COLOR_DEPTH}")
        string(APPEND variant "_c${d}")
    endif()
    set(large 0)
    if(L_LARGE_FONTS)
        set(large 1)
        string(APPEND variant "_large")
    endif()
    set(decoders 0)
    if(L_DECODERS)
        set(decoders 1)
        string(APPEND variant "_decoders")
    endif()
    set(harness zentraq_${variant}_harness)
    set(${out} ${harness} PARENT_SCOPE)
    if(TARGET ${harness})
        return()
    endif()

    set(variant_dir "${ZENTRAQ_LVGL_WORK}/${variant}")
    _zl_write_conf(${L_VERSION} "${variant_dir}" ${L_COLOR_DEPTH} ${large} ${decoders})
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${ZENTRAQ_LVGL_WORK}/v${L_VERSION}/lvgl/src/*.c")
    set(lib zentraq_${variant})
    add_library(${lib} STATIC ${sources})
    _zl_lvgl_interface(${lib} ${L_VERSION} "${variant_dir}")
    target_include_directories(${lib} PRIVATE "${variant_dir}" "${ZENTRAQ_LVGL_WORK}/v${L_VERSION}/lvgl")
    target_compile_definitions(${lib} PRIVATE LV_CONF_INCLUDE_SIMPLE)
    # Third-party code: its warnings are not ours, and it is never sanitized;
    # without debug information it builds a fifth faster.
    set_target_properties(${lib} PROPERTIES COMPILE_OPTIONS "-w;-g0" LINK_OPTIONS ""
        ARCHIVE_OUTPUT_DIRECTORY "${variant_dir}" C_STANDARD 99 C_EXTENSIONS ON)
    target_link_libraries(${lib} INTERFACE m)
    _zl_plain_c(${lib})

    add_library(${harness} STATIC "${ZENTRAQ_LVGL_HARNESS_DIR}/harness/zlh.c"
                                  "${ZENTRAQ_LVGL_HARNESS_DIR}/harness/zlh_main.c")
    target_include_directories(${harness} PUBLIC "${ZENTRAQ_LVGL_HARNESS_DIR}/harness")
    target_link_libraries(${harness} PUBLIC ${lib})
    _zl_harness_warnings(${harness})
    _zl_plain_c(${harness})
    set_target_properties(${harness} PROPERTIES ARCHIVE_OUTPUT_DIRECTORY "${variant_dir}")
endfunction()

function(_zl_harness_warnings target)
    set(opts -Wall -Wextra)
    if(ZENTRAQ_WERROR)
        list(APPEND opts -Werror)
    endif()
    set_target_properties(${target} PROPERTIES COMPILE_OPTIONS "${opts}" LINK_OPTIONS ""
                                               C_STANDARD 11 C_EXTENSIONS ON)
endfunction()

# zentraq_add_lvgl_client(NAME VERSION 9|8 [COLOR_DEPTH 32|16|16-swap] [LARGE_FONTS]
#                         [DECODERS] [MAIN file] [SOURCES file...] [FONTS symbol...]
#                         [IMAGES symbol...] [REQUIRES key...])
# An executable NAME: the C files of SOURCES (fonts and images, often made at
# build time by add_custom_command, zentraq_lv_font_conv or
# zentraq_lvglimage) linked with the LVGL build and the harness's command
# line (see harness/zlh.h). FONTS and IMAGES name the lv_font_t and image
# descriptor variables the command line reaches by name. MAIN: a main() of
# the client's own instead (the harness's functions are there to call); it
# finds FONTS and IMAGES in zlh_client_fonts and zlh_client_images.
# DECODERS: the LVGL build with lv_gif and the PNG decoder. When a
# requirement is missing no target is made; tests naming NAME in REQUIRES
# then skip.
function(zentraq_add_lvgl_client name)
    cmake_parse_arguments(C "LARGE_FONTS;DECODERS" "VERSION;COLOR_DEPTH;MAIN" "SOURCES;FONTS;IMAGES;REQUIRES" ${ARGN})
    zentraq_lvgl_missing(why lvgl${C_VERSION} ${C_REQUIRES})
    _zl_set_missing(${name} "${why}")
    if(why)
        return()
    endif()
    set(variant_args VERSION ${C_VERSION})
    if(C_COLOR_DEPTH)
        list(APPEND variant_args COLOR_DEPTH ${C_COLOR_DEPTH})
    endif()
    if(C_LARGE_FONTS)
        list(APPEND variant_args LARGE_FONTS)
    endif()
    if(C_DECODERS)
        list(APPEND variant_args DECODERS)
    endif()
    zentraq_lvgl_library(harness ${variant_args})
    # The table of named fonts and images, and main() unless the client
    # brings its own.
    set(reg "#include \"zlh.h\"\n\n")
    set(font_rows "")
    foreach(f IN LISTS C_FONTS)
        string(APPEND reg "extern const lv_font_t ${f};\n")
        string(APPEND font_rows "    {\"${f}\", &${f}},\n")
    endforeach()
    set(image_rows "")
    foreach(i IN LISTS C_IMAGES)
        string(APPEND reg "extern const zlh_image_dsc_t ${i};\n")
        string(APPEND image_rows "    {\"${i}\", &${i}},\n")
    endforeach()
    if(C_MAIN)
        string(APPEND reg "\nconst zlh_named_font zlh_client_fonts[] = {\n${font_rows}    {0, 0}};\n"
                          "const zlh_named_image zlh_client_images[] = {\n${image_rows}    {0, 0}};\n")
    else()
        string(APPEND reg "\nstatic const zlh_named_font fonts[] = {\n${font_rows}    {0, 0}};\n"
                          "static const zlh_named_image images[] = {\n${image_rows}    {0, 0}};\n\n"
                          "int main(int argc, char **argv) { return zlh_main(argc, argv, fonts, images); }\n")
    endif()
    set(reg_file "${CMAKE_CURRENT_BINARY_DIR}/${name}_registry.c")
    file(CONFIGURE OUTPUT "${reg_file}" CONTENT "${reg}" @ONLY)

    add_executable(${name} ${C_MAIN} "${reg_file}" ${C_SOURCES})
    target_link_libraries(${name} PRIVATE ${harness})
    _zl_plain_c(${name})
    # Converter output is not ours to keep warning-free: C_SOURCES compile
    # with warnings shown; zentraq_lvgl_compile_check holds a file to -Werror.
    set_target_properties(${name} PROPERTIES COMPILE_OPTIONS "-Wall;-Wextra" LINK_OPTIONS ""
                                             C_STANDARD 11 C_EXTENSIONS ON)
endfunction()

# zentraq_add_u8g2_client(NAME FONTS symbol=file... [REQUIRES key...])
# An executable NAME that draws texts with u8g2's own code into a display in
# memory (harness/u8g2_draw.c): the u8g2 fonts of FONTS, each the C file a
# converter wrote (bdfconv's form, often made at build time) and the name of
# its array. When a requirement (u8g2 is one) is missing no target is made;
# tests naming NAME in REQUIRES then skip.
function(zentraq_add_u8g2_client name)
    cmake_parse_arguments(C "" "" "FONTS;REQUIRES" ${ARGN})
    zentraq_lvgl_missing(why u8g2 ${C_REQUIRES})
    _zl_set_missing(${name} "${why}")
    if(why)
        return()
    endif()
    # The table of named fonts; each font's C file after u8g2's header,
    # which its declaration needs.
    set(table "#include \"u8g2.h\"\n#include \"u8g2_client.h\"\n\n")
    set(rows "")
    set(sources "")
    set(files "")
    foreach(f IN LISTS C_FONTS)
        string(REPLACE "=" ";" f "${f}")
        list(GET f 0 symbol)
        list(GET f 1 file)
        string(APPEND table "extern const uint8_t ${symbol}[];\n")
        string(APPEND rows "    {\"${symbol}\", ${symbol}},\n")
        set(wrapper "${CMAKE_CURRENT_BINARY_DIR}/${name}_${symbol}.c")
        file(CONFIGURE OUTPUT "${wrapper}" CONTENT "#include \"u8g2.h\"\n#include \"${file}\"\n" @ONLY)
        set_source_files_properties("${wrapper}" PROPERTIES OBJECT_DEPENDS "${file}")
        list(APPEND sources "${wrapper}")
        list(APPEND files "${file}")
    endforeach()
    string(APPEND table "\nconst u8g2_named_font u8g2_client_fonts[] = {\n${rows}    {0, 0}};\n")
    set(table_file "${CMAKE_CURRENT_BINARY_DIR}/${name}_fonts.c")
    file(CONFIGURE OUTPUT "${table_file}" CONTENT "${table}" @ONLY)
    add_executable(${name} "${ZENTRAQ_LVGL_HARNESS_DIR}/harness/u8g2_draw.c" "${table_file}" ${sources})
    target_include_directories(${name} PRIVATE "${ZENTRAQ_LVGL_HARNESS_DIR}/harness")
    target_link_libraries(${name} PRIVATE zentraq_u8g2)
    _zl_plain_c(${name})
    set_target_properties(${name} PROPERTIES COMPILE_OPTIONS "-Wall;-Wextra" LINK_OPTIONS ""
                                             C_STANDARD 11 C_EXTENSIONS ON)
    # Fonts made at build time are made first.
    add_custom_target(${name}_fonts DEPENDS ${files})
    add_dependencies(${name} ${name}_fonts)
endfunction()

# zentraq_add_lvgl_test(NAME COMMAND cmd... [REQUIRES key...] [WORKING_DIRECTORY dir])
# A test that runs when every requirement is there (clients named in
# REQUIRES are there too, and may be named by target in COMMAND) and
# otherwise is registered as skipped with the reasons.
function(zentraq_add_lvgl_test name)
    cmake_parse_arguments(T "" "WORKING_DIRECTORY" "COMMAND;REQUIRES" ${ARGN})
    zentraq_lvgl_missing(why ${T_REQUIRES})
    if(why)
        _zl_add_skip_test(${name} "${why}")
        return()
    endif()
    if(NOT T_WORKING_DIRECTORY)
        set(T_WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
    endif()
    add_test(NAME ${name} COMMAND ${T_COMMAND} WORKING_DIRECTORY "${T_WORKING_DIRECTORY}")
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 LABELS lvgl TIMEOUT 300)
endfunction()

# zentraq_lvgl_compile_check(NAME SOURCES file... [VERSION 9|8|none] [LANGUAGE C|CXX]
#                            [INCLUDES dir...] [DEFINES d...] [OPTIONS flag...]
#                            [DEPENDS file...] [REQUIRES key...])
# A test that compiles each source with -Wall -Wextra -Werror (and LVGL's
# headers for VERSION 9 or 8, and OPTIONS such as -std=c99), as a firmware
# project would. Sources and
# DEPENDS (headers they include) in the build folder are made by the default
# build, by custom commands of the calling folder.
function(zentraq_lvgl_compile_check name)
    cmake_parse_arguments(K "" "VERSION;LANGUAGE" "SOURCES;INCLUDES;DEFINES;OPTIONS;DEPENDS;REQUIRES" ${ARGN})
    set(reqs ${K_REQUIRES})
    if(K_VERSION MATCHES "^(8|9)$")
        list(APPEND reqs lvgl${K_VERSION})
    elseif(K_VERSION AND NOT K_VERSION STREQUAL "none")
        message(FATAL_ERROR "zentraq_lvgl_compile_check: VERSION 9, 8 or none")
    endif()
    zentraq_lvgl_missing(why ${reqs})
    if(why)
        _zl_add_skip_test(${name} "${why}")
        return()
    endif()
    if(K_LANGUAGE STREQUAL "CXX")
        set(compiler "${CMAKE_CXX_COMPILER}")
    else()
        set(compiler "${CMAKE_C_COMPILER}")
    endif()
    set(flags -Wall -Wextra -Werror ${K_OPTIONS})
    if(K_VERSION MATCHES "^(8|9)$")
        set(root "${ZENTRAQ_LVGL_WORK}/v${K_VERSION}")
        list(APPEND flags -DLV_CONF_INCLUDE_SIMPLE -DLV_LVGL_H_INCLUDE_SIMPLE
                          "-I${ZENTRAQ_LVGL_WORK}/lvgl${K_VERSION}" "-I${root}" "-I${root}/lvgl")
        zentraq_lvgl_library(unused VERSION ${K_VERSION})  # makes lv_conf.h
    endif()
    foreach(d IN LISTS K_INCLUDES)
        list(APPEND flags "-I${d}")
    endforeach()
    foreach(d IN LISTS K_DEFINES)
        list(APPEND flags "-D${d}")
    endforeach()
    set(sources "")
    set(generated "")
    foreach(src IN LISTS K_SOURCES K_DEPENDS)
        get_filename_component(abs "${src}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
        if(src IN_LIST K_SOURCES)
            list(APPEND sources "${abs}")
        endif()
        cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${abs}" NORMALIZE in_build)
        if(in_build)
            list(APPEND generated "${abs}")
        endif()
    endforeach()
    if(generated)
        add_custom_target(${name}_sources ALL DEPENDS ${generated})
    endif()
    set(objdir "${CMAKE_CURRENT_BINARY_DIR}/${name}.objects")
    add_test(NAME ${name}
             COMMAND "${CMAKE_COMMAND}" -DCOMPILER=${compiler} "-DFLAGS=${flags}" "-DSOURCES=${sources}"
                     -DOBJDIR=${objdir} -P "${ZENTRAQ_LVGL_HARNESS_DIR}/compile-check.cmake"
             WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
    set_tests_properties(${name} PROPERTIES LABELS lvgl TIMEOUT 300)
endfunction()

# zentraq_lv_font_conv(OUTPUT file ARGS arg... [DEPENDS file...])
# Makes OUTPUT at build time with lv_font_conv (ARGS as its command line,
# without -o). Does nothing when lv_font_conv is missing: clients and tests
# that use OUTPUT must list lv_font_conv in REQUIRES.
function(zentraq_lv_font_conv)
    cmake_parse_arguments(F "" "OUTPUT" "ARGS;DEPENDS" ${ARGN})
    zentraq_lvgl_missing(why lv_font_conv)
    if(why)
        return()
    endif()
    get_filename_component(out "${F_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    add_custom_command(OUTPUT "${out}"
        COMMAND "${ZENTRAQ_LV_FONT_CONV_PROGRAM}" ${F_ARGS} -o "${out}"
        DEPENDS ${F_DEPENDS} VERBATIM
        COMMENT "lv_font_conv ${F_OUTPUT}")
endfunction()

# zentraq_fontconvert(OUTPUT file ARGS font size [first] [last] [DEPENDS file...])
# Makes the Adafruit GFX header OUTPUT at build time with fontconvert.
function(zentraq_fontconvert)
    cmake_parse_arguments(F "" "OUTPUT" "ARGS;DEPENDS" ${ARGN})
    zentraq_lvgl_missing(why fontconvert)
    if(why)
        return()
    endif()
    get_filename_component(out "${F_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    add_custom_command(OUTPUT "${out}"
        COMMAND "${CMAKE_COMMAND}" "-DOUTPUT=${out}" "-DCOMMAND=$<TARGET_FILE:zentraq_fontconvert>;${F_ARGS}"
                -P "${ZENTRAQ_LVGL_HARNESS_DIR}/run-to-file.cmake"
        DEPENDS zentraq_fontconvert ${F_DEPENDS} VERBATIM
        COMMENT "fontconvert ${F_OUTPUT}")
endfunction()

# zentraq_lvglimage(OUTPUT file.c|file.bin INPUT picture.png [ARGS arg...] [DEPENDS file...])
# Makes OUTPUT at build time with LVGLImage.py (ARGS: --cf, --compress,
# --align, --background, ...); a .c OUTPUT is C (its variable named after
# the file), a .bin OUTPUT the binary file.
function(zentraq_lvglimage)
    cmake_parse_arguments(F "" "OUTPUT;INPUT" "ARGS;DEPENDS" ${ARGN})
    zentraq_lvgl_missing(why lvglimage)
    if(why)
        return()
    endif()
    get_filename_component(out "${F_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    get_filename_component(in "${F_INPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    add_custom_command(OUTPUT "${out}"
        COMMAND "${CMAKE_COMMAND}" "-DOUTPUT=${out}" "-DINPUT=${in}"
                "-DPYTHON=${ZENTRAQ_LVGLIMAGE_PYTHON}" "-DSCRIPT=${ZENTRAQ_LVGLIMAGE_PY}" "-DARGS=${F_ARGS}"
                -P "${ZENTRAQ_LVGL_HARNESS_DIR}/lvglimage.cmake"
        DEPENDS "${in}" ${F_DEPENDS} VERBATIM
        COMMENT "LVGLImage.py ${F_OUTPUT}")
endfunction()
