# Functions that make data files with zentraq-cli while a project builds.
#
#   zentraq_add_picture(TARGET target INPUT picture OUTPUT file [NAME name]
#                       [DEPENDS file...] [ARGS option...])
#   zentraq_add_glyphs(TARGET target OUTPUT file [INPUT text-file] [NAME name]
#                      [DEPENDS file...] [ARGS option...])
#   zentraq_add_library(TARGET target OUTPUT file [INPUT charset-file] [NAME name]
#                       [DEPENDS file...] [ARGS option...])
#   zentraq_add_data(TARGET target COMMAND command OUTPUT file [INPUT file]
#                    [INPUT_OPTION option] [NAME name] [DEPENDS file...]
#                    [ARGS option...])
#
# Each adds a custom command that runs `zentraq-cli COMMAND` and makes OUTPUT
# a source of TARGET. A relative OUTPUT is made in the current binary folder,
# which is put on TARGET's include path, so `OUTPUT logo.h` is included as
# "logo.h". A relative INPUT is taken from the current source folder; an
# INPUT that is neither there nor made by the build stops the configuration
# with a message. The files that ARGS name for --input, --charset and
# --font-file are looked up the same way: a relative one that exists in the
# current source folder is passed with its full path; otherwise it is taken
# from the top binary folder, where the command runs, and must be there or be
# made by the build.
#
# The tool writes a depfile listing every file it read (the picture, the text
# or charset file, the font file, the installed face a --font family came
# from), so the data is made again when any of them changes, and when
# zentraq-cli itself does. With the Ninja generators the tool also keeps an
# output whose bytes did not change as it was (--keep-unchanged), so nothing
# that includes it is built again; Make cannot see that a command left its
# output alone, so with the Makefile generators the output is always
# rewritten.
#
# zentraq_add_picture, _glyphs and _library add -q, and for an OUTPUT ending
# in .h or .c, `--format c` (unless ARGS has --format or --binary) and
# `--name` from NAME or from the file name (logo.h: logo). zentraq_add_data
# passes only what it is given: INPUT goes where COMMAND takes its input
# (glyph --input, library --charset, font --font-file, any other command as
# its first argument), or after INPUT_OPTION when that is given; NAME becomes
# --name.

include_guard(GLOBAL)

cmake_policy(PUSH)
cmake_policy(VERSION 3.20...3.25)
# Ninja reads the tool's depfile as it is: its target is the output exactly as
# build.ninja names it (relative to the top binary folder) and every file it
# lists is absolute. The NEW behaviour would run a second process, `cmake -E
# cmake_transform_depfile`, after each command, which costs about as much as
# the command itself.
cmake_policy(SET CMP0116 OLD)

# How each command takes the file named by INPUT; a command not listed takes
# it as its first argument (picture IN, preview DATA).
set(_zentraq_input_option_glyph --input)
set(_zentraq_input_option_library --charset)
set(_zentraq_input_option_font --font-file)
# The options whose value is a file the tool reads, and the charset names
# that --charset takes instead of a file.
set(_zentraq_file_options --input --charset --font-file)
set(_zentraq_charset_names gb2312 gbk ascii)

function(zentraq_add_data)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "TARGET;COMMAND;INPUT;INPUT_OPTION;OUTPUT;NAME"
                        "DEPENDS;ARGS")
  _zentraq_check_call(zentraq_add_data)
  if(NOT arg_COMMAND)
    message(FATAL_ERROR "zentraq_add_data: COMMAND is missing (picture, glyph, library, ...)")
  endif()
  _zentraq_add_command("${arg_COMMAND}" "${arg_INPUT_OPTION}" "" "${arg_ARGS}")
endfunction()

function(zentraq_add_picture)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "TARGET;INPUT;OUTPUT;NAME" "DEPENDS;ARGS")
  _zentraq_check_call(zentraq_add_picture)
  if(NOT arg_INPUT)
    message(FATAL_ERROR "zentraq_add_picture: INPUT is missing (the picture file)")
  endif()
  _zentraq_add_command(picture "" C "${arg_ARGS}")
endfunction()

function(zentraq_add_glyphs)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "TARGET;INPUT;OUTPUT;NAME" "DEPENDS;ARGS")
  _zentraq_check_call(zentraq_add_glyphs)
  _zentraq_add_command(glyph "" C "${arg_ARGS}")
endfunction()

function(zentraq_add_library)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "TARGET;INPUT;OUTPUT;NAME" "DEPENDS;ARGS")
  _zentraq_check_call(zentraq_add_library)
  _zentraq_add_command(library "" C "${arg_ARGS}")
endfunction()

# What every call needs; stops the configuration with a message otherwise.
macro(_zentraq_check_call function)
  set(_zentraq_caller ${function})
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "${function}: unknown arguments: ${arg_UNPARSED_ARGUMENTS} "
                        "(the tool's own options go after ARGS)")
  endif()
  if(NOT arg_TARGET)
    message(FATAL_ERROR "${function}: TARGET is missing")
  endif()
  if(NOT TARGET "${arg_TARGET}")
    message(FATAL_ERROR "${function}: '${arg_TARGET}' is not a target (create it first)")
  endif()
  get_target_property(_zentraq_type "${arg_TARGET}" TYPE)
  get_target_property(_zentraq_imported "${arg_TARGET}" IMPORTED)
  if(_zentraq_type STREQUAL "INTERFACE_LIBRARY" OR _zentraq_imported)
    message(FATAL_ERROR "${function}: '${arg_TARGET}' builds nothing; name an executable, "
                        "a library or a custom target")
  endif()
  if(NOT arg_OUTPUT)
    message(FATAL_ERROR "${function}: OUTPUT is missing (the file to make, e.g. OUTPUT logo.h)")
  endif()
  get_target_property(_zentraq_dir "${arg_TARGET}" SOURCE_DIR)
  if(NOT _zentraq_dir STREQUAL CMAKE_CURRENT_SOURCE_DIR)
    message(FATAL_ERROR "${function}: call it in the folder that creates '${arg_TARGET}' "
                        "(${_zentraq_dir}), so the target's build sees the command")
  endif()
  if(NOT TARGET Zentraq::cli)
    message(FATAL_ERROR "${function}: Zentraq::cli is missing (use find_package(Zentraq))")
  endif()
endmacro()

# Adds the command `zentraq-cli command ...` for the arguments parsed into
# arg_* by the caller. `style` C: the defaults of the named functions (-q,
# and --format c with a --name for C outputs).
function(_zentraq_add_command command input_option style user_args)
  _zentraq_resolve_args(user_args)
  cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
             NORMALIZE OUTPUT_VARIABLE output)
  cmake_path(GET output PARENT_PATH output_dir)
  cmake_path(GET output FILENAME output_name)

  set(tool_args "${command}")
  set(input "")
  if(arg_INPUT)
    cmake_path(ABSOLUTE_PATH arg_INPUT BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
               NORMALIZE OUTPUT_VARIABLE input)
    _zentraq_check_file_later("INPUT ${arg_INPUT}" "${input}" "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT input_option AND DEFINED _zentraq_input_option_${command})
      set(input_option "${_zentraq_input_option_${command}}")
    endif()
    list(APPEND tool_args ${input_option} "${input}")
  endif()

  # The depfile, in a folder of its own beside the output's folder.
  string(SHA1 hash "${output}")
  string(SUBSTRING "${hash}" 0 10 hash)
  set(depfile_dir "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/zentraq")
  set(depfile "${depfile_dir}/${output_name}.${hash}.d")
  file(MAKE_DIRECTORY "${output_dir}" "${depfile_dir}")
  # The depfile's target is the -o name as given. Ninja wants the name it
  # knows the output by: relative to the top binary folder, where the
  # command runs, when the output lies inside it.
  set(output_arg "${output}")
  if(CMAKE_GENERATOR MATCHES "Ninja")
    cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${output}" NORMALIZE inside)
    if(inside)
      cmake_path(RELATIVE_PATH output BASE_DIRECTORY "${CMAKE_BINARY_DIR}"
                 OUTPUT_VARIABLE output_arg)
    endif()
  endif()
  list(APPEND tool_args -o "${output_arg}" --depfile "${depfile}")
  if(CMAKE_GENERATOR MATCHES "Ninja")
    list(APPEND tool_args --keep-unchanged)
  endif()

  set(name "${arg_NAME}")
  if(style STREQUAL "C")
    list(APPEND tool_args -q)
    if(output_name MATCHES "\\.[hc]$" AND NOT user_args MATCHES "(^|;)(--format|--binary)(;|$)")
      list(APPEND tool_args --format c)
      if(NOT name AND NOT user_args MATCHES "(^|;)--name(;|$)")
        cmake_path(GET output STEM LAST_ONLY name)
        string(MAKE_C_IDENTIFIER "${name}" name)
      endif()
    endif()
  endif()
  if(name)
    list(APPEND tool_args --name "${name}")
  endif()

  cmake_path(RELATIVE_PATH output BASE_DIRECTORY "${CMAKE_BINARY_DIR}" OUTPUT_VARIABLE shown)
  add_custom_command(OUTPUT "${output}"
    COMMAND Zentraq::cli ${tool_args} ${user_args}
    DEPENDS ${input} "$<TARGET_FILE:Zentraq::cli>" ${arg_DEPENDS}
    DEPFILE "${depfile}"
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
    COMMENT "zentraq-cli ${command}: ${shown}"
    VERBATIM)
  target_sources("${arg_TARGET}" PRIVATE "${output}")
  # A custom target (data for a flash image, say) has no include path.
  get_target_property(type "${arg_TARGET}" TYPE)
  if(NOT type STREQUAL "UTILITY")
    cmake_path(IS_ABSOLUTE arg_OUTPUT absolute)
    if(absolute)
      target_include_directories("${arg_TARGET}" PRIVATE "${output_dir}")
    else()
      target_include_directories("${arg_TARGET}" PRIVATE "${CMAKE_CURRENT_BINARY_DIR}")
    endif()
  endif()
endfunction()

# Makes the relative file names in the list `var` (values of
# _zentraq_file_options, as "--charset FILE" or "--charset=FILE", up to a
# "--") absolute when they name a file in the current source folder; the
# others are checked at the end of the folder's configuration.
function(_zentraq_resolve_args var)
  set(resolved "")
  set(wants_file "")
  set(after_dashes FALSE)
  foreach(a IN LISTS ${var})
    set(option "${wants_file}")
    set(value "${a}")
    set(prefix "")
    set(wants_file "")
    if(after_dashes)
      set(option "")
    elseif(a STREQUAL "--")
      set(after_dashes TRUE)
    elseif(a MATCHES "^(--[a-z-]+)=(.*)$" AND CMAKE_MATCH_1 IN_LIST _zentraq_file_options)
      set(option "${CMAKE_MATCH_1}")
      set(value "${CMAKE_MATCH_2}")
      set(prefix "${option}=")
    elseif(a IN_LIST _zentraq_file_options)
      set(wants_file "${a}")
    endif()
    if(option AND NOT value STREQUAL "" AND NOT value STREQUAL "-"
       AND NOT (option STREQUAL "--charset" AND value IN_LIST _zentraq_charset_names))
      cmake_path(IS_RELATIVE value relative)
      if(relative)
        cmake_path(ABSOLUTE_PATH value BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" NORMALIZE
                   OUTPUT_VARIABLE in_source)
        if(EXISTS "${in_source}" AND NOT IS_DIRECTORY "${in_source}")
          set(a "${prefix}${in_source}")
        else()
          cmake_path(ABSOLUTE_PATH value BASE_DIRECTORY "${CMAKE_BINARY_DIR}" NORMALIZE
                     OUTPUT_VARIABLE in_binary)
          _zentraq_check_file_later("ARGS ${option} ${value}" "${in_binary}"
                                    "${CMAKE_CURRENT_SOURCE_DIR} nor in ${CMAKE_BINARY_DIR}")
        endif()
      endif()
    endif()
    list(APPEND resolved "${a}")
  endforeach()
  set(${var} "${resolved}" PARENT_SCOPE)
endfunction()

# At the end of the current folder's configuration, when every command that
# makes a file has been added: stops with a message when `file` neither
# exists nor is made by the build. `what` names the argument, `where` the
# folders it was looked up in; the message names the function called.
function(_zentraq_check_file_later what file where)
  cmake_language(EVAL CODE "
    cmake_language(DEFER CALL _zentraq_check_file [==[${_zentraq_caller}]==] [==[${what}]==]
                   [==[${file}]==] [==[${where}]==])")
endfunction()

function(_zentraq_check_file caller what file where)
  if(EXISTS "${file}")
    return()
  endif()
  get_source_file_property(generated "${file}" GENERATED)
  if(generated)
    return()
  endif()
  message(FATAL_ERROR "${caller}: ${what}: no such file in ${where} (looked for ${file}). "
                      "A file that the build makes must be the OUTPUT of a command of this "
                      "folder or carry the source file property GENERATED.")
endfunction()

cmake_policy(POP)
