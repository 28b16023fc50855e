# Device plug-ins: Qt plug-in MODULE libraries with the shared framework compiled in.
#
#   lm_add_device_plugin(<target> IID <key> SOURCES <files...>
#                        [CORE <core target> [CORE_LIBS <libs...>]]
#                        [PLUGIN_SOURCES <files...>] [LIBS <libs...>]
#                        [OUTPUT_DIRECTORY <dir>])
#
# IID is the plug-in's key in its metadata ("PingDevice", ...). The plug-in's sources
# define DevicePlugin::traits() (DevicePluginTraits.h); the shared PluginInterface (the
# entry) and the registration helpers come from src/libs/devices/common.
# With CORE, the SOURCES make a static library of that name (lmlib, Qt Widgets and Xml and
# CORE_LIBS linked publicly, the folder and its generated form headers on its include path),
# which the plug-in's tests link; the MODULE holds the entry and PLUGIN_SOURCES (its resources: a static library's
# would need Q_INIT_RESOURCE) and links the core. Without CORE the SOURCES go into the
# MODULE.
# Without lmlib there is nothing to build: the call says so and returns.
# The library lands in LM_PLUGIN_OUTPUT_DIRECTORY unless OUTPUT_DIRECTORY says otherwise;
# only plug-ins built into LM_PLUGIN_OUTPUT_DIRECTORY are installed (into <prefix>/plugins,
# beside bin/ and the libraries, the layout the development host expects).
#
# The framework (lm_device_framework, src/libs/devices/common) is compiled into each plug-in,
# but for the node controller base, which lmlib alone defines.
# The rest of what a plug-in compiles in stays private to it: on ELF it exports its Qt
# entry points only, as a DLL exports only what it declares, so that its PluginInterface,
# its copy of the shared identifiers and its static libraries never bind to the host's
# or to another plug-in's.

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(LM_DEVICE_PLUGIN_EXPORTS ${CMAKE_BINARY_DIR}/lm_device_plugin.map)
    file(CONFIGURE OUTPUT ${LM_DEVICE_PLUGIN_EXPORTS} CONTENT
        "{\n  global: qt_plugin_instance; qt_plugin_query_metadata*;\n  local: *;\n};\n")
endif()

function(lm_add_device_plugin target)
    cmake_parse_arguments(ARG "" "IID;OUTPUT_DIRECTORY;CORE" "SOURCES;PLUGIN_SOURCES;LIBS;CORE_LIBS"
        ${ARGN})
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

    if(ARG_CORE)
        add_library(${ARG_CORE} STATIC ${ARG_SOURCES})
        # The generated form headers too: the tests reach the forms' widgets.
        target_include_directories(${ARG_CORE} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}
            ${CMAKE_CURRENT_BINARY_DIR}/${ARG_CORE}_autogen/include)
        target_link_libraries(${ARG_CORE} PUBLIC lmlib Qt6::Widgets Qt6::Xml ${ARG_CORE_LIBS})
        lm_set_warnings(${ARG_CORE})
        add_library(${target} MODULE ${ARG_PLUGIN_SOURCES})
        target_link_libraries(${target} PRIVATE ${ARG_CORE})
    else()
        add_library(${target} MODULE ${ARG_SOURCES} ${ARG_PLUGIN_SOURCES})
    endif()
    # Seen by moc too: it goes into the plug-in's metadata.
    target_compile_definitions(${target} PRIVATE LM_DEVICE_PLUGIN_IID="${ARG_IID}")
    target_link_libraries(${target} PRIVATE lm_device_framework lmlib Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Xml
        ${ARG_LIBS})
    set_target_properties(${target} PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY ${_out}
        RUNTIME_OUTPUT_DIRECTORY ${_out})
    if(LM_DEVICE_PLUGIN_EXPORTS)
        target_link_options(${target} PRIVATE
            "LINKER:--version-script=${LM_DEVICE_PLUGIN_EXPORTS}")
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${LM_DEVICE_PLUGIN_EXPORTS})
    endif()
    lm_set_warnings(${target})
    if(NOT ARG_OUTPUT_DIRECTORY)
        install(TARGETS ${target} LIBRARY DESTINATION plugins RUNTIME DESTINATION plugins
            COMPONENT plugins)
    endif()
endfunction()
