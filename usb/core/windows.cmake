# Windows backend of the device core, on the HID (hid.dll), device-setup (setupapi.dll) and
# file services. Included by usb/core/CMakeLists.txt on Windows builds, native or cross.
target_sources(rcprog_devicecore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/WinHid.h
  ${CMAKE_CURRENT_LIST_DIR}/WinHid.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowsApi.h
)
target_link_libraries(rcprog_devicecore PUBLIC hid setupapi)
