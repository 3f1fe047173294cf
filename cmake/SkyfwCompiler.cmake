# Warnings and sanitizers shared by every target of the project.
add_compile_options(-Wall -Wextra -Wshadow -Wformat=2 $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
if(SKYFW_WERROR)
  add_compile_options(-Werror)
endif()
if(SKYFW_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
if(SKYFW_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT SKYFW_SANITIZE)
    message(FATAL_ERROR "SKYFW_BUILD_FUZZ needs clang (CC=clang CXX=clang++) and SKYFW_SANITIZE=ON")
  endif()
  # libFuzzer's coverage in everything the fuzz targets link. Programs without
  # libFuzzer (the test programs) link the sanitizer runtime's no-op hooks.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
