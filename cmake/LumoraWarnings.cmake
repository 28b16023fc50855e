# Warnings for the system's own targets.
function(lm_set_warnings target)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options(${target} PRIVATE -Wall -Wextra)
    elseif(MSVC)
        target_compile_options(${target} PRIVATE /W4)
    endif()
endfunction()

# A QtTest executable registered with CTest; widget tests run offscreen.
# SVG_ICONS: the test draws SVG icons; with Qt Svg it links it and sees LM_HAVE_QT_SVG,
# without it (the Windows build) the icon checks skip with their reason.
# LABELS: CTest labels (threads: runs threads, for the ThreadSanitizer step; gui: dialogs or
# windows; lm_add_fuzzer adds fuzz), kept for lm_add_label_targets() (see lm_label_test).
function(lm_add_qt_test name)
    cmake_parse_arguments(ARG "SVG_ICONS" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    if(ARG_SVG_ICONS AND TARGET Qt6::Svg)
        target_link_libraries(${name} PRIVATE Qt6::Svg)
        target_compile_definitions(${name} PRIVATE LM_HAVE_QT_SVG)
    endif()
    if(ARG_SVG_ICONS)
        target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    endif()
    lm_set_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set(_timeout 120)
    if(ARG_TIMEOUT)
        set(_timeout ${ARG_TIMEOUT})
    endif()
    lm_set_test_environment(${name} TIMEOUT ${_timeout})
    if(ARG_LABELS)
        lm_label_test(${name} ${ARG_LABELS})
    endif()
endfunction()

# Gives the test <name> (built by the target of the same name) the labels, and keeps the
# target under each label for lm_add_label_targets().
function(lm_label_test name)
    set_property(TEST ${name} APPEND PROPERTY LABELS ${ARGN})
    foreach(_label ${ARGN})
        set_property(GLOBAL APPEND PROPERTY LM_LABEL_TARGETS_${_label} ${name})
        set_property(GLOBAL APPEND PROPERTY LM_LABELS ${_label})
    endforeach()
endfunction()

# One target a label, lm_label_<label>, building that label's tests (and what they need to
# run, as their own dependencies say). Called once, after the tests are defined.
function(lm_add_label_targets)
    get_property(_labels GLOBAL PROPERTY LM_LABELS)
    list(REMOVE_DUPLICATES _labels)
    foreach(_label ${_labels})
        get_property(_targets GLOBAL PROPERTY LM_LABEL_TARGETS_${_label})
        add_custom_target(lm_label_${_label})
        add_dependencies(lm_label_${_label} ${_targets})
    endforeach()
endfunction()

# What every test needs to run: offscreen widgets, the build folder; on the Windows build the
# wine runner (CMAKE_CROSSCOMPILING_EMULATOR) takes its DLL paths from the build tree itself.
function(lm_set_test_environment name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "ENVIRONMENT" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    if(LM_WINDOWS_TESTS_UNDER_WINE)
        # wine starts slower and runs a little slower than native.
        math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 2")
        set_property(TEST ${name} APPEND PROPERTY LABELS windows)
        list(APPEND ARG_ENVIRONMENT LM_WINE_QTEST=1)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LM_BUILD_DIR=${CMAKE_BINARY_DIR};${ARG_ENVIRONMENT}")
endfunction()
