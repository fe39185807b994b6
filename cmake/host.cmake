# The native build: the portable core, fernpack, the unit tests, and the registration of
# the Windows-side tests (run under Wine) and the scenario tests.
option(FERN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(FERN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

include(cmake/portable_libraries.cmake)
fern_portable_libraries(fern_core fernpack_lib)
add_executable(fernpack tools/fernpack/fernpack_main.cpp)
target_link_libraries(fernpack PRIVATE fernpack_lib)
# Test-only: packs a game folder without the settings and picture review, for scenario
# tests that need a package the installer must refuse. Never installed or documented
# for publishers.
add_executable(pack_unreviewed tests/tools/pack_unreviewed.cpp)
target_link_libraries(pack_unreviewed PRIVATE fernpack_lib)

file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
foreach(src ${BENCH_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE fernpack_lib)
endforeach()

enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_link_libraries(unit_tests PRIVATE fernpack_lib GTest::gtest GTest::gtest_main)
target_compile_definitions(unit_tests PRIVATE
  FERN_SOURCE_DIR="${CMAKE_SOURCE_DIR}" FERNPACK_PATH="$<TARGET_FILE:fernpack>")
add_dependencies(unit_tests fernpack)
# The 32-bit build (cmake/host-i386.cmake) makes only the programs; the 64-bit build's
# test run starts them (scripts/unit-i386.sh).
if(CMAKE_CROSSCOMPILING)
  return()
endif()
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)

# The same unit tests built as 32-bit x86 programs, where the private 32-bit root exists.
set(FERN_HOST32_DIR "" CACHE PATH "Build directory of the 32-bit unit tests")
if(FERN_HOST32_DIR)
  add_test(NAME unit_i386.unit_tests
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/unit-i386.sh ${FERN_HOST32_DIR})
  set_tests_properties(unit_i386.unit_tests PROPERTIES LABELS unit TIMEOUT 900
    SKIP_RETURN_CODE 77)
endif()

# Windows-side tests, when the Windows build directory is known.
set(FERN_WIN32_DIR "" CACHE PATH "Build directory of the Windows build the tests run")
set(FERN_I686_DIR "" CACHE PATH "Build directory of the 32-bit installer")
if(FERN_WIN32_DIR)
  # The menu picture test compares a decoded surface with pixels that ImageMagick read
  # from the PNG; the files are made natively first.
  set(PICTURE_FIXTURE_DIR ${CMAKE_BINARY_DIR}/picture-fixture)
  add_test(NAME win32.picture_fixture
           COMMAND ${CMAKE_SOURCE_DIR}/tests/picture_fixture.sh $<TARGET_FILE:fernpack> ${PICTURE_FIXTURE_DIR})
  set_tests_properties(win32.picture_fixture PROPERTIES FIXTURES_SETUP picture LABELS win32)
  add_test(NAME win32.sample_fixture
           COMMAND fernpack pack ${CMAKE_SOURCE_DIR}/sample/game -o ${PICTURE_FIXTURE_DIR}/sample-setup.exe
                   --stub ${FERN_WIN32_DIR}/fernstall.exe --quiet)
  set_tests_properties(win32.sample_fixture PROPERTIES FIXTURES_SETUP picture LABELS win32
    DEPENDS win32.picture_fixture)
  add_test(NAME win32.unit_tests
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${FERN_WIN32_DIR}/fernstall_tests.exe)
  set_tests_properties(win32.unit_tests PROPERTIES LABELS win32 TIMEOUT 300
    FIXTURES_REQUIRED picture
    ENVIRONMENT "FERN_PICTURE_FIXTURE_DIR=${PICTURE_FIXTURE_DIR};FERN_SAMPLE_PACKAGE=${PICTURE_FIXTURE_DIR}/sample-setup.exe")
  # The same Windows tests as the shipped 32-bit program, in a WoW64 prefix from the
  # private 32-bit root (skipped, with the reason, where it cannot run).
  if(FERN_I686_DIR AND NOT FERN_I686_DIR STREQUAL FERN_WIN32_DIR)
    add_test(NAME win32.unit_tests_i686
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${FERN_I686_DIR}/fernstall_tests.exe)
    set_tests_properties(win32.unit_tests_i686 PROPERTIES LABELS win32 TIMEOUT 300
      FIXTURES_REQUIRED picture SKIP_RETURN_CODE 77
      ENVIRONMENT "FERN_WOW64=1;FERN_PICTURE_FIXTURE_DIR=${PICTURE_FIXTURE_DIR};FERN_SAMPLE_PACKAGE=${PICTURE_FIXTURE_DIR}/sample-setup.exe")
  endif()
  file(GLOB SCENARIOS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*_test.sh)
  foreach(script ${SCENARIOS})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME e2e.${name} COMMAND bash ${script})
    set_tests_properties(e2e.${name} PROPERTIES LABELS e2e TIMEOUT 1500 RUN_SERIAL TRUE SKIP_RETURN_CODE 77
      ENVIRONMENT "FERN_SOURCE_DIR=${CMAKE_SOURCE_DIR};FERN_WIN32_DIR=${FERN_WIN32_DIR};FERN_I686_DIR=${FERN_I686_DIR};FERNPACK=$<TARGET_FILE:fernpack>")
  endforeach()
  # The shipped programs' whole road: a bound well inside CI's time, even under emulation.
  set_tests_properties(e2e.genuine_i686_test PROPERTIES TIMEOUT 900)
  # Three roads (ja_JP, C and zh_CN) of about 35 s each; one whose windows never come
  # waits out the driver's limits, a few minutes at most.
  set_tests_properties(e2e.locale_road_test PROPERTIES TIMEOUT 600)
endif()

# cmake --install: fernpack, the man page and the guide, and the Windows programs that
# fernpack adds to every package, in ../lib/fernstall/ where an installed fernpack looks.
include(GNUInstallDirs)
install(TARGETS fernpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/docs/man/fernpack.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/docs/guide.md ${CMAKE_SOURCE_DIR}/docs/fernpack.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/screens DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(FERN_I686_DIR)
  install(FILES ${FERN_I686_DIR}/fernstall.exe DESTINATION lib/fernstall)
  install(FILES ${FERN_I686_DIR}/UnInst.exe DESTINATION lib/fernstall OPTIONAL)
endif()

# The Debian package that make deb builds (a release build of fernpack of its own).
if(FERN_I686_DIR)
  add_test(NAME package.deb COMMAND bash ${CMAKE_SOURCE_DIR}/tests/deb_test.sh ${FERN_I686_DIR})
  set_tests_properties(package.deb PROPERTIES LABELS package TIMEOUT 900)
endif()

# Fuzz smoke runs: each libFuzzer target of the fuzzing build (cmake/fuzz.cmake) replays
# its kept inputs and makes a fixed number of mutations, so that the targets stay alive.
set(FERN_FUZZ_DIR "" CACHE PATH "Build directory of the libFuzzer targets")
if(FERN_FUZZ_DIR)
  file(GLOB FUZZ_TARGET_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
  foreach(src ${FUZZ_TARGET_SOURCES})
    get_filename_component(name ${src} NAME_WE)
    add_test(NAME fuzz.${name}
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/fuzz.sh smoke ${FERN_FUZZ_DIR} ${name})
    set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
  endforeach()
endif()

# Static analysis of the portable code (make lint), so that every test run keeps it clean.
find_program(CPPCHECK cppcheck)
if(CPPCHECK)
  add_test(NAME lint.cppcheck COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/lint.sh)
  set_tests_properties(lint.cppcheck PROPERTIES LABELS lint TIMEOUT 300)
endif()
