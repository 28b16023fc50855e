# libFuzzer targets (clang), built in build-fuzz by scripts/fuzz-common.sh.
#
#   lm_add_fuzzer(<name> SOURCES <files...> [LIBS <libs...>])
#
# The harness is linked with libFuzzer and the sanitizers. The libraries it exercises get
# their coverage from the build itself: scripts/fuzz-common.sh configures the whole tree
# with LM_SANITIZE "address;undefined;fuzzer-no-link", so a fuzzer links the same
# libraries as the tests.
function(lm_add_fuzzer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES AUTOMOC OFF)
    lm_set_warnings(${name})
endfunction()
