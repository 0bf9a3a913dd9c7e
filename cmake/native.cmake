# Native tree: pure C++ libraries, tools and tests, with sanitizers on by default.
option(TOBREL_SANITIZE "Build native code with AddressSanitizer and UBSan" ON)
if(TOBREL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

find_package(GTest REQUIRED)

# A native test: one program per group of related cases. The Windows tree
# runs the same programs through the list written below.
function(tobrel_native_test name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
    add_test(NAME native.${name} COMMAND ${name})
    set_property(GLOBAL APPEND PROPERTY TOBREL_NATIVE_TESTS ${name})
endfunction()

function(tobrel_write_native_test_list)
    get_property(tests GLOBAL PROPERTY TOBREL_NATIVE_TESTS)
    set(content "")
    foreach(t IN LISTS tests)
        string(APPEND content "add_test(native.${t} \"$<TARGET_FILE:${t}>\")\n")
    endforeach()
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/native-tests.cmake CONTENT "${content}")
endfunction()
