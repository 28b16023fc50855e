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

run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer -j2)
run(${WORK_DIR}/consumer/consumer ${WORK_DIR}/out/consumer-1.log)
run(${WORK_DIR}/consumer/writer_only)
message(STATUS "lmlog package works from ${prefix}")
