# Warnings and sanitizers shared by every target of the project.
add_compile_options(-Wall -Wextra -Wshadow -Wformat=2 $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
if(SKYFW_WERROR)
  add_compile_options(-Werror)
endif()
if(SKYFW_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
