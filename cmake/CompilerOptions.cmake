# Options that hold for every target of the tree.
if(KAVO_ASAN AND KAVO_TSAN)
  message(FATAL_ERROR "KAVO_ASAN and KAVO_TSAN cannot be combined")
endif()

add_compile_options(
  -Wall
  -Wextra
  -Werror=conditionally-supported
  # The imaging kernels are bit-exact: no fused multiply-add, no fast math.
  -ffp-contract=off
  -fno-fast-math
)

if(KAVO_WERROR)
  add_compile_options(-Werror)
endif()

if(KAVO_ASAN)
  set(_kavo_sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_kavo_sanitize})
  add_link_options(${_kavo_sanitize})
endif()

if(KAVO_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
