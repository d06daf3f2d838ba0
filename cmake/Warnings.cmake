# Every target of the project compiles without warnings.
add_compile_options(-Wall -Wextra -Wpedantic)
if(ZENTRAQ_WERROR)
  add_compile_options(-Werror)
endif()
if(ZENTRAQ_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
