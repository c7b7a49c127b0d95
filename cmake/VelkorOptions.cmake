# Compiler settings shared by every target of the project.
add_library(velkor_options INTERFACE)
target_compile_options(velkor_options INTERFACE -Wall -Wextra)

if(VELKOR_SANITIZE)
    target_compile_options(velkor_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(velkor_options INTERFACE -fsanitize=address,undefined)
endif()

find_package(Threads REQUIRED)
target_link_libraries(velkor_options INTERFACE Threads::Threads)

# velkor_add_test(NAME SOURCES... LIBS...): one GoogleTest executable whose
# cases CTest runs one by one.
function(velkor_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main velkor_options)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()
