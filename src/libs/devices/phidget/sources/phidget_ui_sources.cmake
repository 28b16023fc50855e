# The setup dialog, the channels table and the channel inspector and picker,
# compiled into phidget_bridge_core.
set(PHIDGET_UI_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/phidget_device_setup.h
    ${CMAKE_CURRENT_LIST_DIR}/phidget_device_setup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PhidgetDeviceSetup.ui
    ${CMAKE_CURRENT_LIST_DIR}/phidget_channels_model.h
    ${CMAKE_CURRENT_LIST_DIR}/phidget_channels_model.cpp
    ${CMAKE_CURRENT_LIST_DIR}/phidget_channel_inspector.h
    ${CMAKE_CURRENT_LIST_DIR}/phidget_channel_inspector.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PhidgetChannelInspector.ui
    ${CMAKE_CURRENT_LIST_DIR}/phidget_channel_picker.h
    ${CMAKE_CURRENT_LIST_DIR}/phidget_channel_picker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PhidgetChannelPickerDialog.ui
)
