# Linux: the hidraw backend of the platform layer and the report descriptor parser it uses.
target_sources(rcprog_devicecore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/LinuxHidraw.h ${CMAKE_CURRENT_LIST_DIR}/LinuxHidraw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReportDescriptor.h ${CMAKE_CURRENT_LIST_DIR}/ReportDescriptor.cpp
)
