# Installs the lmlog component into a scratch prefix, then builds and runs a
# small host project against it with find_package(lmlog).
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}")
    endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --component lmlog --prefix ${prefix})
foreach(header LMLog.h LMLogMessage.h XmlWriter.h LMFile.h LMLogExport.h)
    if(NOT EXISTS ${prefix}/include/lmlog/${header})
        message(FATAL_ERROR "header not installed: ${header}")
    endif()
endforeach()

# The consumer is built as the library was: same compiler, same sanitizers (an
# instrumented library needs the sanitizer's runtime in the program that loads it).
load_cache(${BUILD_DIR} READ_WITH_PREFIX build_ CMAKE_CXX_COMPILER CMAKE_CXX_FLAGS LM_SANITIZE)
set(flags "${build_CMAKE_CXX_FLAGS}")
if(build_LM_SANITIZE)
    list(JOIN build_LM_SANITIZE "," sanitizers)
    string(APPEND flags " -fsanitize=${sanitizers}")
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_CXX_COMPILER=${build_CMAKE_CXX_COMPILER} "-DCMAKE_CXX_FLAGS=${flags}"
    "-DCMAKE_EXE_LINKER_FLAGS=${flags}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer -j2)
run(${WORK_DIR}/consumer/consumer ${WORK_DIR}/out/consumer-1.log)
run(${WORK_DIR}/consumer/writer_only)
message(STATUS "lmlog package works from ${prefix}")
