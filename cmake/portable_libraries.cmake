# The native libraries that the host build and the fuzzing build both make, under names
# of their own: the portable core (the installer's decisions, built for Linux) and
# fernpack's library over it. Each build sets its compiler flags before including this.
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(Threads REQUIRED)
find_library(DEFLATE_LIBRARY deflate REQUIRED)
find_path(DEFLATE_INCLUDE libdeflate.h REQUIRED)
# libunistring: NFC composition and case mapping of file names.
find_library(UNISTRING_LIBRARY unistring REQUIRED)
find_path(UNISTRING_INCLUDE uninorm.h REQUIRED)

function(fern_portable_libraries core fernpack)
  add_library(${core} STATIC ${CORE_SOURCES} ${POSIX_SOURCES})
  target_link_libraries(${core} PUBLIC ZLIB::ZLIB)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/fernpack/*.cpp)
  list(FILTER sources EXCLUDE REGEX "fernpack_main\\.cpp$")
  add_library(${fernpack} STATIC ${sources})
  target_include_directories(${fernpack} PUBLIC ${DEFLATE_INCLUDE} ${UNISTRING_INCLUDE})
  target_link_libraries(${fernpack} PUBLIC ${core} ${DEFLATE_LIBRARY} ${UNISTRING_LIBRARY}
    PNG::PNG Threads::Threads)
endfunction()
