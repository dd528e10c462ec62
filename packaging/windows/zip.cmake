# The Windows package: `cpack` in a Windows build folder makes rcprog-VERSION-win64.zip, one
# folder with the three programs, the Qt and MinGW-w64 runtime DLLs they load, the platform
# plugin (platforms/qwindows.dll) and the native style (styles/qwindowsvistastyle.dll), the
# example configuration files (configfiles/), README and LICENSE. Started from that folder
# (as Explorer does), rcprog lists the examples; the folder can be unpacked anywhere.

# Qt's libraries and plugins, from the Qt the programs were linked against.
set(_rcprog_qt_dlls)
foreach(_target Qt6::Core Qt6::Gui Qt6::Widgets)
  list(APPEND _rcprog_qt_dlls "$<TARGET_FILE:${_target}>")
endforeach()
install(FILES ${_rcprog_qt_dlls} DESTINATION .)
install(FILES "$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>" DESTINATION platforms)
if(TARGET Qt6::QWindowsVistaStylePlugin)
  install(FILES "$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>" DESTINATION styles)
endif()

# The compiler's own runtime: the C++ library, the unwinder and the threads library, wherever
# this MinGW-w64 keeps them.
if(MINGW)
  foreach(_dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
                    OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
      message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${_dll} is")
    endif()
    get_filename_component(_path "${_path}" REALPATH)
    install(FILES "${_path}" DESTINATION .)
  endforeach()
endif()

# The DLLs come with their symbols (the C++ library alone is 23 MB); a stripping install (cpack,
# `cmake --install --strip`) strips them as it strips the programs.
if(CMAKE_STRIP)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      file(GLOB_RECURSE _dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
      foreach(_dll IN LISTS _dlls)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${_dll}\"
                        RESULT_VARIABLE _status)
        if(NOT _status EQUAL 0)
          message(FATAL_ERROR \"cannot strip \${_dll}\")
        endif()
      endforeach()
    endif()")
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/configfiles/ DESTINATION configfiles
        FILES_MATCHING PATTERN "*.ini")
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME rcprog)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME rcprog-${PROJECT_VERSION}-win64)
# Everything in one folder of the package's name.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
