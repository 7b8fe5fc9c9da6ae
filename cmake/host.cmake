# Host build: the portable logic and every window's logic against fakes, under sanitizers.
option(TOLM_SANITIZE "Build the host code with address and undefined-behaviour sanitizers" ON)
if(TOLM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
find_package(GTest REQUIRED)
include(GoogleTest)
