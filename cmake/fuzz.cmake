# The fuzzing build: libFuzzer targets for every reader of outside input, built with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer (make fuzz, and the smoke runs of make
# test). clang has no Shift-JIS execution character set, so string literals stay UTF-8
# here: the readers' logic is the same, only the Japanese texts of messages and defaults
# differ in their bytes.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)

include(cmake/portable_libraries.cmake)
fern_portable_libraries(fuzz_core fuzz_fernpack)

file(GLOB FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
foreach(src ${FUZZ_TARGETS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} fuzz/fuzz_budget.cpp)
  target_link_libraries(${name} PRIVATE fuzz_fernpack)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endforeach()
