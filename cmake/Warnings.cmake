# Warnings and sanitizers as interface targets that every target links.
add_library(selvane_options INTERFACE)
target_compile_options(selvane_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(SELVANE_SANITIZE)
  target_compile_options(selvane_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(selvane_options INTERFACE -fsanitize=address,undefined)
endif()
