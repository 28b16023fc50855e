# libFuzzer targets (clang), built in build-fuzz by scripts/fuzz-common.sh.
#
#   lm_add_fuzzer(<name> SOURCES <files...> [LIBS <libs...>] [PLUGIN_IID <key>])
#
# The harness is linked with libFuzzer and the sanitizers. The libraries it exercises get
# their coverage from the build itself: scripts/fuzz-common.sh configures the whole tree
# with LM_SANITIZE "address;undefined;fuzzer-no-link", so a fuzzer links the same
# libraries as the tests.
# PLUGIN_IID: the harness holds a plug-in's entry (the framework's PluginInterface, as
# lm_add_device_plugin compiles it into the plug-in) under that key; LIBS names the
# plug-in's core.
function(lm_add_fuzzer name)
    cmake_parse_arguments(ARG "" "PLUGIN_IID" "SOURCES;LIBS" ${ARGN})
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
endfunction()
