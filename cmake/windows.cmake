# The Windows build (cmake/mingw-w64.cmake): kestrova.exe and the tests of the layers below the
# window. No Qt window, no udev, benchmarks, soak, fuzz targets or package; the hardening flags
# come from dpkg-buildflags for Linux and are not used. GoogleTest is built from Debian's sources
# and CLI11 is used from its headers: nothing is downloaded.
set(KESTROVA_BUILD_UI OFF CACHE BOOL "" FORCE)
if(KESTROVA_FUZZ)
  message(FATAL_ERROR "The fuzz targets are not built for Windows")
endif()
# Windows 10 calls; windows.h without its min and max macros; the C library's reentrant time
# calls (localtime_r, gmtime_r) as on POSIX.
add_compile_definitions(_WIN32_WINNT=0x0A00 NOMINMAX WIN32_LEAN_AND_MEAN
                        _POSIX_THREAD_SAFE_FUNCTIONS=200112L)

set(KESTROVA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian: googletest)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${KESTROVA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest's own code (its targets GTest::gtest and GTest::gtest_main) is not held to this
# project's warnings.
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)

# CLI11 is header-only; its folder alone is put on the include path, never the host's /usr/include.
find_path(KESTROVA_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          NO_DEFAULT_PATH REQUIRED)
set(cli11_folder ${CMAKE_BINARY_DIR}/cli11)
file(MAKE_DIRECTORY ${cli11_folder})
file(CREATE_LINK ${KESTROVA_CLI11_INCLUDE}/CLI ${cli11_folder}/CLI SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${cli11_folder})

# Sources compiled together, a few per compiler run: the cross-build runs in scripts/test.sh on
# two cores. kestrova_compile_alone (called once the layers are added) leaves out the files whose
# private names clash with another file's.
set(CMAKE_UNITY_BUILD ON)
set(CMAKE_UNITY_BUILD_BATCH_SIZE 8)
function(kestrova_compile_alone)
  foreach(file ${ARGN})
    get_filename_component(folder ${PROJECT_SOURCE_DIR}/${file} DIRECTORY)
    set_source_files_properties(${PROJECT_SOURCE_DIR}/${file} DIRECTORY ${folder}
                                PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
  endforeach()
endfunction()
