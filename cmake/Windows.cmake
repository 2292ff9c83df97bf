# The Windows build: the same sources as on Linux, with the GDI+/Win32 backends, the Windows
# platform services and the LoadLibrary loader. Included by the top-level CMakeLists.txt.
set(ZB_WINDOWS ON)
set(ZB_THIRD_PARTY_PREFIX "${CMAKE_BINARY_DIR}/third-party/prefix" CACHE PATH "libpng and libsndfile built for Windows")
list(APPEND CMAKE_PREFIX_PATH ${ZB_THIRD_PARTY_PREFIX})
set(ZB_MINGW_ROOT /usr/x86_64-w64-mingw32)

# Static C and C++ run-time and static third-party libraries: the binaries import system DLLs only.
add_compile_definitions(NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)

add_library(zb_zlib STATIC IMPORTED)
set_target_properties(zb_zlib PROPERTIES IMPORTED_LOCATION ${ZB_MINGW_ROOT}/lib/libz.a)
add_library(zb_png STATIC IMPORTED)
set_target_properties(zb_png PROPERTIES IMPORTED_LOCATION ${ZB_THIRD_PARTY_PREFIX}/lib/libpng16.a
                      INTERFACE_INCLUDE_DIRECTORIES ${ZB_THIRD_PARTY_PREFIX}/include INTERFACE_LINK_LIBRARIES zb_zlib)
add_library(zb_sndfile STATIC IMPORTED)
set_target_properties(zb_sndfile PROPERTIES IMPORTED_LOCATION ${ZB_THIRD_PARTY_PREFIX}/lib/libsndfile.a
                      INTERFACE_INCLUDE_DIRECTORIES ${ZB_THIRD_PARTY_PREFIX}/include)

# GoogleTest from Debian's sources, built with our toolchain.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# The benchmarks and the Linux-only test areas stay out; tests/windows picks what runs under Wine.
set(ZB_SKIPPED_DIRS bench module)

# Tests are whole programs run under Wine by tests/windows/run-wine.sh, not discovered by CTest.
function(zb_test name)
  cmake_parse_arguments(ARG "SERIAL" "" "SOURCES;LIBS" ${ARGN})  # SERIAL: see CMakeLists.txt
  add_executable(${name} ${ARG_SOURCES})
  zb_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE ZB_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endfunction()
