if(TAGQUILL_SANITIZE STREQUAL "address-undefined")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TAGQUILL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(TAGQUILL_SANITIZE STREQUAL "fuzzer")
  # Coverage for libFuzzer everywhere; the fuzz programs alone link its driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT TAGQUILL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "Unknown TAGQUILL_SANITIZE value '${TAGQUILL_SANITIZE}'")
endif()
