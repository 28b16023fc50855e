# 64-bit Windows with mingw-w64 (the -posix compilers: std::thread and std::mutex need them).
# Qt for the target comes from LM_QT_MINGW_DIR (scripts/windows-qt.sh prints it); the host's
# Qt 6.4 provides moc, uic and rcc.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT LM_QT_MINGW_DIR AND DEFINED ENV{LM_QT_MINGW_DIR})
    set(LM_QT_MINGW_DIR $ENV{LM_QT_MINGW_DIR})
endif()
if(NOT LM_QT_MINGW_DIR)
    set(LM_QT_MINGW_DIR $ENV{HOME}/.cache/lumora/qt-6.4.2-mingw-w64)
endif()
set(LM_QT_MINGW_DIR ${LM_QT_MINGW_DIR} CACHE PATH "Qt 6 built for mingw-w64")
# try_compile projects see the same variable.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LM_QT_MINGW_DIR)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${LM_QT_MINGW_DIR})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
list(APPEND CMAKE_PREFIX_PATH ${LM_QT_MINGW_DIR})
set(QT_HOST_PATH /usr CACHE PATH "Qt for the build machine (moc, uic, rcc)")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
