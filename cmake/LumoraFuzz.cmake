# libFuzzer targets (clang), built in build-fuzz by scripts/fuzz-common.sh.
#
#   lm_add_fuzzer(<name> SOURCES <files...> [LIBS <libs...>] [PLUGIN_IID <key>]
#                 [SEEDS <files or folders...>] [DICT <file>])
#
# The harness is linked with libFuzzer and the sanitizers. The libraries it exercises get
# their coverage from the build itself: scripts/fuzz-common.sh configures the whole tree
# with LM_SANITIZE "address;undefined;fuzzer-no-link", so a fuzzer links the same
# libraries as the tests.
# PLUGIN_IID: the harness holds a plug-in's entry (the framework's PluginInterface, as
# lm_add_device_plugin compiles it into the plug-in) under that key; LIBS names the
# plug-in's core.
# Each fuzzer is also a CTest test labelled fuzz: it runs LM_FUZZ_SECONDS on a corpus made
# of SEEDS (cmake/fuzz-run.sh), with the DICT dictionary; the ASan suite leaves that label out.
function(lm_add_fuzzer name)
    cmake_parse_arguments(ARG "" "PLUGIN_IID;DICT" "SOURCES;LIBS;SEEDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    if(ARG_PLUGIN_IID)
        target_link_libraries(${name} PRIVATE lm_device_framework)
        target_compile_definitions(${name} PRIVATE LM_DEVICE_PLUGIN_IID="${ARG_PLUGIN_IID}")
    else()
        set_target_properties(${name} PROPERTIES AUTOMOC OFF)
    endif()
    lm_set_warnings(${name})

    set(_options)
    if(ARG_DICT)
        set(_options -dict=${ARG_DICT})
    endif()
    add_test(NAME ${name}
        COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/fuzz-run.sh $<TARGET_FILE:${name}>
            ${LM_FUZZ_SECONDS} ${CMAKE_BINARY_DIR}/fuzz-artifacts/${name} ${_options}
            ${ARG_SEEDS})
    math(EXPR _timeout "${LM_FUZZ_SECONDS} + 120")
    lm_set_test_environment(${name} TIMEOUT ${_timeout})
    lm_label_test(${name} fuzz)
endfunction()
