# The Windows build's tests run under wine64: CTest starts each test executable through
# build-win/wine-run.sh (CMAKE_CROSSCOMPILING_EMULATOR), which finds Qt's, mingw's and this
# build's DLLs and keeps wine's own state inside the build tree, so that
# `ctest --test-dir build-win` alone runs them.
find_program(LM_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(NOT LM_WINE64)
    message(STATUS "wine64 not found: the Windows tests are built but cannot run here")
    return()
endif()
set(LM_WINDOWS_TESTS_UNDER_WINE ON)

# The mingw runtime DLLs (libstdc++, libgcc, winpthread) of the compiler in use.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE _lm_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(LM_MINGW_RUNTIME_DIR ${_lm_libstdcxx} DIRECTORY)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
    OUTPUT_VARIABLE _lm_winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(LM_MINGW_PTHREAD_DIR ${_lm_winpthread} DIRECTORY)
get_target_property(_lm_qtcore Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT _lm_qtcore)
    get_target_property(_lm_qtcore Qt6::Core LOCATION)
endif()
get_filename_component(LM_QT_BIN_DIR ${_lm_qtcore} DIRECTORY)

find_program(LM_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
set(LM_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${LM_WINE_RUN} @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${LM_WINE_RUN})
