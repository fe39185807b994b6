# The Windows build: the installer stub, its cross-built tests and the test UI driver.
set(MINGW_ZLIB ${CMAKE_FIND_ROOT_PATH}/lib/libz.a)
if(NOT EXISTS ${MINGW_ZLIB})
  message(FATAL_ERROR "static zlib for mingw not found (package libz-mingw-w64-dev)")
endif()

# Stack protection: a canary before the return address of every function with a local
# array or an address taken, checked on return. mingw-w64 supplies it through libssp,
# which links statically; a toolchain without it builds without the flag rather than not
# at all. Applied to everything built here, the static library included, so the readers
# of outside input (archive, settings, picture) carry it.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS -fstack-protector-strong)
set(CMAKE_REQUIRED_LINK_OPTIONS -static -fstack-protector-strong)
check_cxx_source_compiles("int main() { char b[64]; b[0] = 1; return b[0]; }"
                          FERN_HAS_STACK_PROTECTOR)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
if(FERN_HAS_STACK_PROTECTOR)
  add_compile_options(-fstack-protector-strong)
  set(FERN_STACK_PROTECTOR_LINK -fstack-protector-strong)
endif()

list(FILTER WIN32_SOURCES EXCLUDE REGEX "app/entry_win32\\.cpp$")
# The uninstaller's Windows layer belongs to UnInst.exe alone (its portable decisions are
# in the core library, where the installer's linker leaves them unused).
set(UNINSTALL_WIN32_SOURCES ${WIN32_SOURCES})
list(FILTER UNINSTALL_WIN32_SOURCES INCLUDE REGEX "/uninstall/[^/]*_win32\\.cpp$")
list(FILTER WIN32_SOURCES EXCLUDE REGEX "/uninstall/[^/]*_win32\\.cpp$")
add_library(fern_win32 STATIC ${CORE_SOURCES} ${WIN32_SOURCES})
target_compile_definitions(fern_win32 PUBLIC WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501)
# No comctl32 and no winmm: see RegisterCommonControls (archive/progress_window_win32.cpp)
# and CreateWorkFolder; the installer imports only DLLs that Windows takes from the system
# folder (tests/e2e/hardening_test.sh).
target_link_libraries(fern_win32 PUBLIC ${MINGW_ZLIB} ole32 shell32 user32 gdi32)

# One self-contained executable: static C and C++ runtime, no debug information, with
# address-space randomisation and DEP.
set(WIN32_LINK_OPTIONS -static -static-libgcc -static-libstdc++
    -Wl,--dynamicbase -Wl,--nxcompat ${FERN_STACK_PROTECTOR_LINK})

# The manifest names the processor of this build: X86 for the installer, amd64 for the
# 64-bit test twin that runs where the machine cannot execute 32-bit Wine.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(MANIFEST_ARCH amd64)
else()
  set(MANIFEST_ARCH X86)
endif()
configure_file(resources/fernstall.manifest.in ${CMAKE_BINARY_DIR}/resources/fernstall.manifest @ONLY)
configure_file(resources/uninstall.manifest.in ${CMAKE_BINARY_DIR}/resources/uninstall.manifest @ONLY)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001 -I${CMAKE_BINARY_DIR}/resources -I${CMAKE_SOURCE_DIR}/resources")

# windres writes no dependency file: name what fernstall.rc includes, so that editing a
# dialog, the animation or the icon rebuilds the resources.
file(GLOB RESOURCE_INPUTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.rc
     ${CMAKE_SOURCE_DIR}/resources/*.h ${CMAKE_SOURCE_DIR}/resources/*.avi
     ${CMAKE_SOURCE_DIR}/resources/*.ico)
set_source_files_properties(resources/fernstall.rc PROPERTIES OBJECT_DEPENDS
  "${RESOURCE_INPUTS};${CMAKE_BINARY_DIR}/resources/fernstall.manifest")

add_executable(fernstall WIN32 app/entry_win32.cpp resources/fernstall.rc)
target_link_libraries(fernstall PRIVATE fern_win32)
target_link_options(fernstall PRIVATE ${WIN32_LINK_OPTIONS} -s)
target_compile_options(fernstall PRIVATE -fno-exceptions -fno-rtti)
set_target_properties(fernstall PROPERTIES OUTPUT_NAME fernstall)

# The uninstaller, UnInst.exe, that fernpack adds to every package.
set_source_files_properties(resources/uninstall.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/resources/fernstall.ico;${CMAKE_BINARY_DIR}/resources/uninstall.manifest")
add_executable(uninstaller WIN32 ${UNINSTALL_WIN32_SOURCES} resources/uninstall.rc)
target_link_libraries(uninstaller PRIVATE fern_win32)
target_link_options(uninstaller PRIVATE ${WIN32_LINK_OPTIONS} -s)
target_compile_options(uninstaller PRIVATE -fno-exceptions -fno-rtti)
set_target_properties(uninstaller PROPERTIES OUTPUT_NAME UnInst)

# GoogleTest, built from Debian's sources with the cross compiler.
# (the posix thread model of the cross compiler gives GoogleTest its std::mutex)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
# The conversion cases run here too, against Windows' own code page tables.
add_executable(fernstall_tests ${WIN32_TEST_SOURCES} tests/unit/wide_text_test.cpp)
target_link_libraries(fernstall_tests PRIVATE fern_win32 gtest gtest_main)
target_link_options(fernstall_tests PRIVATE ${WIN32_LINK_OPTIONS})

# The UI driver that scenario tests use to see and answer the installer's windows.
add_executable(uidriver tests/e2e/uidriver/uidriver_win32.cpp)
target_compile_definitions(uidriver PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_libraries(uidriver PRIVATE user32 gdi32 kernel32)
target_link_options(uidriver PRIVATE ${WIN32_LINK_OPTIONS} -municode)

# Small programs that stand in for what a disc or a game carries in the scenario tests.
file(GLOB FIXTURE_PROGRAMS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/programs/*.cpp)
foreach(src ${FIXTURE_PROGRAMS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_options(${name} PRIVATE ${WIN32_LINK_OPTIONS})
endforeach()
# read_link reads shortcuts through the shell link object.
target_link_libraries(read_link PRIVATE ole32 uuid shell32)
target_link_libraries(volatile_key PRIVATE advapi32 shell32)

# The copy window scenario's stub: unpacks its own package in FullMode with the real copy
# progress window, so it needs the installer's library and resources.
add_executable(fullmode_run WIN32 tests/e2e/fullmode/fullmode_run_win32.cpp resources/fernstall.rc)
target_link_libraries(fullmode_run PRIVATE fern_win32)
target_link_options(fullmode_run PRIVATE ${WIN32_LINK_OPTIONS} -s)

# Benchmark programs for scripts/bench.sh (run under Wine; not part of the tests). The
# extraction benchmark carries the installer's resources for its progress window.
add_executable(extract_bench_win32 bench/win32/extract_bench_win32.cpp resources/fernstall.rc)
add_executable(startup_bench_win32 bench/win32/startup_bench_win32.cpp)
add_executable(delete_bench_win32 bench/win32/delete_bench_win32.cpp)
foreach(name extract_bench_win32 startup_bench_win32 delete_bench_win32)
  target_link_libraries(${name} PRIVATE fern_win32)
  target_link_options(${name} PRIVATE ${WIN32_LINK_OPTIONS})
endforeach()
target_link_options(delete_bench_win32 PRIVATE -municode)

# The sample game's own program, named by the sample's EXENAME (scripts/sample-disc.sh
# puts it into the sample's game folder).
add_executable(fernquest WIN32 sample/program/fernquest.cpp)
target_link_options(fernquest PRIVATE ${WIN32_LINK_OPTIONS} -s)

# The DLL-planting scenario (tests/e2e/hardening_test.sh): a DLL that records every load
# and refuses it, and a program that loads a DLL by bare name without any restriction.
add_library(planted SHARED tests/e2e/planted/planted_dll_win32.cpp)
set_target_properties(planted PROPERTIES PREFIX "")
target_link_options(planted PRIVATE ${WIN32_LINK_OPTIONS} -s)
add_executable(load_probe tests/e2e/planted/load_probe_win32.cpp)
target_link_options(load_probe PRIVATE ${WIN32_LINK_OPTIONS})
