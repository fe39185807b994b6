# The fuzzing build: libFuzzer targets for every reader of outside input, built with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer (make fuzz, and the smoke runs of make
# test). clang has no Shift-JIS execution character set, so string literals stay UTF-8
# here: the readers' logic is the same, only the Japanese texts of messages and defaults
# differ in their bytes.
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(Threads REQUIRED)
find_library(DEFLATE_LIBRARY deflate REQUIRED)
find_path(DEFLATE_INCLUDE libdeflate.h REQUIRED)
find_library(UNISTRING_LIBRARY unistring REQUIRED)
find_path(UNISTRING_INCLUDE uninorm.h REQUIRED)

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)

add_library(fuzz_core STATIC ${CORE_SOURCES} ${POSIX_SOURCES})
target_link_libraries(fuzz_core PUBLIC ZLIB::ZLIB)
file(GLOB FERNPACK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/fernpack/*.cpp)
list(FILTER FERNPACK_SOURCES EXCLUDE REGEX "fernpack_main\\.cpp$")
add_library(fuzz_fernpack STATIC ${FERNPACK_SOURCES})
target_include_directories(fuzz_fernpack PUBLIC ${DEFLATE_INCLUDE} ${UNISTRING_INCLUDE})
target_link_libraries(fuzz_fernpack PUBLIC fuzz_core ${DEFLATE_LIBRARY} ${UNISTRING_LIBRARY}
  PNG::PNG Threads::Threads)

file(GLOB FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
foreach(src ${FUZZ_TARGETS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} fuzz/fuzz_budget.cpp)
  target_link_libraries(${name} PRIVATE fuzz_fernpack)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endforeach()
