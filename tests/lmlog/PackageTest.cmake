# Installs the lmlog component into a scratch prefix, then builds and runs a
# small host project against it with find_package(lmlog). A cross build (the
# Windows build) builds the consumer with its own toolchain and runs it through
# its emulator (EMULATOR, wine).
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK_DIR}
        RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
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
load_cache(${BUILD_DIR} READ_WITH_PREFIX build_
    CMAKE_CXX_COMPILER CMAKE_CXX_FLAGS LM_SANITIZE CMAKE_TOOLCHAIN_FILE LM_QT_MINGW_DIR)
set(flags "${build_CMAKE_CXX_FLAGS}")
if(build_LM_SANITIZE)
    list(JOIN build_LM_SANITIZE "," sanitizers)
    string(APPEND flags " -fsanitize=${sanitizers}")
endif()
set(cross_options)
if(build_CMAKE_TOOLCHAIN_FILE)
    # The toolchain searches packages only below its target roots, so the
    # package's own folder is named directly.
    set(cross_options -DCMAKE_TOOLCHAIN_FILE=${build_CMAKE_TOOLCHAIN_FILE}
        -DLM_QT_MINGW_DIR=${build_LM_QT_MINGW_DIR} -Dlmlog_DIR=${prefix}/lib/cmake/lmlog)
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_CXX_COMPILER=${build_CMAKE_CXX_COMPILER} "-DCMAKE_CXX_FLAGS=${flags}"
    "-DCMAKE_EXE_LINKER_FLAGS=${flags}" ${cross_options})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer -j2)
if(EMULATOR)
    # Windows loads DLLs from the program's folder first: the installed
    # library, not the build tree's, is the one tested.
    file(GLOB installed_dlls ${prefix}/bin/*.dll)
    if(NOT installed_dlls)
        message(FATAL_ERROR "no DLL installed in ${prefix}/bin")
    endif()
    file(COPY ${installed_dlls} DESTINATION ${WORK_DIR}/consumer)
endif()
# A path relative to the working folder reads the same on both systems.
run(${EMULATOR} ${WORK_DIR}/consumer/consumer${CMAKE_EXECUTABLE_SUFFIX} out/consumer-1.log)
run(${EMULATOR} ${WORK_DIR}/consumer/writer_only${CMAKE_EXECUTABLE_SUFFIX})
if(NOT EXISTS ${WORK_DIR}/out/consumer-1.log)
    message(FATAL_ERROR "the consumer wrote no log")
endif()
message(STATUS "lmlog package works from ${prefix}")
