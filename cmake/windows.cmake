# 32-bit Windows tree: everything links statically so that no mingw runtime DLL
# is needed, and doubles are computed with SSE2 (Direct3D leaves the x87 unit
# of the device's thread at single precision).
add_compile_options(-msse2 -mfpmath=sse -march=pentium4)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE)
add_link_options(-static -static-libgcc -static-libstdc++)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# GoogleTest from Debian's source package, built for the target.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Native tools and tests come from the native tree.
set(TOBREL_NATIVE_DIR "" CACHE PATH "Build directory of the native tree")
if(TOBREL_NATIVE_DIR)
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${TOBREL_NATIVE_DIR}/native-tests.cmake)
endif()

# A Windows test: runs under Wine through the cross-compiling emulator, from
# the output directory so that the plug-in is found beside the test program.
function(tobrel_windows_test name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE gtest gtest_main)
    add_test(NAME win.${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    set_tests_properties(win.${name} PROPERTIES TIMEOUT 900)
endfunction()

# A Windows test that runs against the test-only d3d9.dll (tests/d3d9_proxy):
# the program sits beside it in bin/proxy, imports d3d9.dll through its import
# library and runs with Wine's load order set to prefer it over the builtin,
# which it loads itself. The other overrides are those of scripts/wine-env.sh.
function(tobrel_proxy_test name)
    add_executable(${name} ${ARGN})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/proxy)
    target_link_libraries(${name} PRIVATE tobrel_d3d9_proxy gtest gtest_main)
    add_test(NAME win.${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin/proxy)
    set_tests_properties(win.${name} PROPERTIES TIMEOUT 900
        ENVIRONMENT "WINEDLLOVERRIDES=d3d9=n,b\\;mscoree,mshtml=\\;winedbg.exe=d")
endfunction()
