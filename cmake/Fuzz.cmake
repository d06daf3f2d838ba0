# libFuzzer builds (-DZENTRAQ_FUZZ=ON, clang only): every library is compiled
# with the fuzzer's coverage hooks and with AddressSanitizer and UBSan; the
# targets under fuzz/ link the fuzzer's own main.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "ZENTRAQ_FUZZ needs clang (cmake --preset fuzz, or CXX=clang++)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
