# Platform seams are file pairs, as qtbase keeps them: X_win.cpp beside X_unix.cpp.
#   lm_platform_sources(<target> <PRIVATE|PUBLIC> <base>...) adds <base>_win.cpp on Windows
#   and <base>_unix.cpp elsewhere, relative to the calling folder.
if(WIN32)
    set(LM_PLATFORM_SUFFIX _win)
else()
    set(LM_PLATFORM_SUFFIX _unix)
endif()

function(lm_platform_sources target scope)
    foreach(base ${ARGN})
        target_sources(${target} ${scope}
            ${CMAKE_CURRENT_SOURCE_DIR}/${base}${LM_PLATFORM_SUFFIX}.cpp)
    endforeach()
endfunction()
