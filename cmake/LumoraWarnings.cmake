# Warnings for the system's own targets.
function(lm_set_warnings target)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options(${target} PRIVATE -Wall -Wextra)
    elseif(MSVC)
        target_compile_options(${target} PRIVATE /W4)
    endif()
endfunction()

# A QtTest executable registered with CTest; widget tests run offscreen.
function(lm_add_qt_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    lm_set_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set(_timeout 120)
    if(ARG_TIMEOUT)
        set(_timeout ${ARG_TIMEOUT})
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${_timeout}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LM_BUILD_DIR=${CMAKE_BINARY_DIR}")
endfunction()
