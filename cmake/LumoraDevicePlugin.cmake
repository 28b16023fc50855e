# Device plug-ins: Qt plug-in MODULE libraries with the shared framework compiled in.
#
#   lm_add_device_plugin(<target> IID <key> SOURCES <files...> [LIBS <libs...>]
#                        [OUTPUT_DIRECTORY <dir>])
#
# IID is the plug-in's key in its metadata ("PingDevice", ...). The plug-in's sources
# define the functions of DevicePluginTraits.h; the shared PluginInterface, the node
# controller base and the registration helpers come from src/libs/devices/common.
# The library lands in LM_PLUGIN_OUTPUT_DIRECTORY unless OUTPUT_DIRECTORY says otherwise;
# only plug-ins built into LM_PLUGIN_OUTPUT_DIRECTORY are installed (into <prefix>/plugins,
# beside bin/ and the libraries, the layout the development host expects).

set(LM_DEVICE_FRAMEWORK_DIR ${CMAKE_CURRENT_LIST_DIR}/../src/libs/devices/common)
get_filename_component(LM_DEVICE_FRAMEWORK_DIR ${LM_DEVICE_FRAMEWORK_DIR} ABSOLUTE)

set(LM_DEVICE_FRAMEWORK_SOURCES
    ${LM_DEVICE_FRAMEWORK_DIR}/INodeController.h
    ${LM_DEVICE_FRAMEWORK_DIR}/INodeController.cpp
    ${LM_DEVICE_FRAMEWORK_DIR}/PluginInterface.h
    ${LM_DEVICE_FRAMEWORK_DIR}/PluginInterface.cpp
    ${LM_DEVICE_FRAMEWORK_DIR}/DevicePluginTraits.h
    ${LM_DEVICE_FRAMEWORK_DIR}/NodeRegistration.h
)

function(lm_add_device_plugin target)
    cmake_parse_arguments(ARG "" "IID;OUTPUT_DIRECTORY" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_IID)
        message(FATAL_ERROR "lm_add_device_plugin(${target}): IID is required")
    endif()
    if(NOT TARGET lmlib)
        message(STATUS "${target}: the host library lmlib is not available; skipped")
        return()
    endif()
    set(_out ${LM_PLUGIN_OUTPUT_DIRECTORY})
    if(ARG_OUTPUT_DIRECTORY)
        set(_out ${ARG_OUTPUT_DIRECTORY})
    endif()

    add_library(${target} MODULE ${ARG_SOURCES} ${LM_DEVICE_FRAMEWORK_SOURCES})
    # Seen by moc too: it goes into the plug-in's metadata.
    target_compile_definitions(${target} PRIVATE LM_DEVICE_PLUGIN_IID="${ARG_IID}")
    target_include_directories(${target} PRIVATE ${LM_DEVICE_FRAMEWORK_DIR})
    target_link_libraries(${target} PRIVATE lmlib Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Xml
        ${ARG_LIBS})
    set_target_properties(${target} PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY ${_out}
        RUNTIME_OUTPUT_DIRECTORY ${_out})
    lm_set_warnings(${target})
    if(NOT ARG_OUTPUT_DIRECTORY)
        install(TARGETS ${target} LIBRARY DESTINATION plugins RUNTIME DESTINATION plugins
            COMPONENT plugins)
    endif()
endfunction()
