# What `cmake --install` puts in place on each system, and the package made of
# it by CPack (run in the build folder):
#   Linux    cpack -G DEB         matrix-controller_<version>_<arch>.deb
#   Windows  cpack -G NSIS        an installer carrying Qt's DLLs (windeployqt),
#                                 with a Start-menu entry
#   macOS    cpack -G DragNDrop   a disk image holding MatrixController.app
#                                 (macdeployqt)
# A package holds everything the tree's install() rules install, so a program
# whose folder brings its own rules (the network service and its unit file)
# is packaged along without a change here.
include(GNUInstallDirs)
set(MATRIX_APP_ID org.hdmimatrix.MatrixController)
set(MATRIX_PROGRAMS matrix-controller matrixctl)
if(TARGET matrix-sim)
  list(APPEND MATRIX_PROGRAMS matrix-sim)
endif()
if(TARGET matrix-server)
  list(APPEND MATRIX_PROGRAMS matrix-server)
endif()

# Qt's deployment tools sit beside qmake.
if(TARGET Qt6::qmake)
  get_target_property(_qmake Qt6::qmake IMPORTED_LOCATION)
  get_filename_component(MATRIX_QT_BIN_DIR "${_qmake}" DIRECTORY)
endif()
set(_root "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}")
# The licence and the list of what the packages carry from others go beside
# the programs (in Debian's doc folder on Linux, where the copyright file
# holds the licence).
set(MATRIX_LICENCE_FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY.md)

if(APPLE)
  # The controller is an application bundle; matrixctl and the simulator
  # travel inside it so that macdeployqt gives them the same frameworks.
  set(_bundle MatrixController.app)
  set_target_properties(matrix-controller PROPERTIES
    OUTPUT_NAME MatrixController
    MACOSX_BUNDLE_INFO_PLIST ${CMAKE_CURRENT_LIST_DIR}/Info.plist.in
    MACOSX_BUNDLE_GUI_IDENTIFIER ${MATRIX_APP_ID}
    MACOSX_BUNDLE_BUNDLE_NAME "Matrix Controller"
    MACOSX_BUNDLE_BUNDLE_VERSION ${PROJECT_VERSION}
    MACOSX_BUNDLE_SHORT_VERSION_STRING ${PROJECT_VERSION})
  install(TARGETS matrix-controller BUNDLE DESTINATION .)
  list(REMOVE_ITEM MATRIX_PROGRAMS matrix-controller)
  install(TARGETS ${MATRIX_PROGRAMS} RUNTIME DESTINATION ${_bundle}/Contents/MacOS)
  set(_executables "")
  foreach(_program ${MATRIX_PROGRAMS})
    string(APPEND _executables " \"-executable=${_root}/${_bundle}/Contents/MacOS/${_program}\"")
  endforeach()
  find_program(MACDEPLOYQT macdeployqt HINTS "${MATRIX_QT_BIN_DIR}" REQUIRED)
  install(CODE "execute_process(COMMAND \"${MACDEPLOYQT}\" \"${_root}/${_bundle}\"
    ${_executables} -always-overwrite COMMAND_ERROR_IS_FATAL ANY)")
  install(FILES ${MATRIX_LICENCE_FILES} DESTINATION .)
  set(CPACK_GENERATOR DragNDrop)
  set(CPACK_DMG_VOLUME_NAME "Matrix Controller")
elseif(WIN32)
  install(TARGETS ${MATRIX_PROGRAMS} RUNTIME DESTINATION bin)
  install(FILES ${MATRIX_LICENCE_FILES} DESTINATION bin)
  # The compiler's runtime DLLs, then Qt's DLLs and plugins beside the programs.
  set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION bin)
  include(InstallRequiredSystemLibraries)
  # A MinGW cross build has no windeployqt: scripts/build-windows lays out the
  # programs with an explicit list of DLLs and makes its own installer.
  if(NOT CMAKE_CROSSCOMPILING)
    find_program(WINDEPLOYQT windeployqt HINTS "${MATRIX_QT_BIN_DIR}" REQUIRED)
    foreach(_program ${MATRIX_PROGRAMS})
      install(CODE "execute_process(COMMAND \"${WINDEPLOYQT}\" --no-translations
        --no-compiler-runtime --dir \"${_root}/bin\" \"${_root}/bin/${_program}.exe\"
        COMMAND_ERROR_IS_FATAL ANY)")
    endforeach()
  endif()
  set(CPACK_GENERATOR NSIS)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY "Matrix Controller")
  set(CPACK_NSIS_DISPLAY_NAME "4x4 HDMI Matrix Controller")
  set(CPACK_NSIS_PACKAGE_NAME "4x4 HDMI Matrix Controller")
  # Start-menu entry (bin\matrix-controller.exe).
  set(CPACK_PACKAGE_EXECUTABLES "matrix-controller;4x4 HDMI Matrix Controller")
  # No "Run now" box: the installer runs elevated, and so would the controller
  # it started, writing an administrator's "Settings.ini".
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE) # the licence page
  # "Settings.ini": under Program Files the controller keeps it in the user's
  # own folder (AppData\Local\matrix-controller), installed anywhere the user
  # may write it stays beside the program. The uninstaller removes only what it
  # installed, so either file outlives it.
else()
  install(TARGETS ${MATRIX_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/${MATRIX_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/${MATRIX_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/${MATRIX_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # Debian wants the copyright file and a compressed change log (without a
  # time stamp, so the package builds the same twice) in the package's doc folder.
  set(_doc ${CMAKE_INSTALL_DATADIR}/doc/matrix-controller)
  find_program(GZIP gzip REQUIRED)
  execute_process(COMMAND ${GZIP} -9nc ${CMAKE_CURRENT_LIST_DIR}/changelog
    OUTPUT_FILE ${CMAKE_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
    ${PROJECT_SOURCE_DIR}/THIRD-PARTY.md DESTINATION ${_doc})
  if(TARGET matrix-server)
    # matrix-server@NAME.service reads its options from /etc/matrix-server/NAME.conf.
    # The unit names the program where this install puts it.
    install(CODE "
      set(MATRIX_SERVER_BIN \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      configure_file(\"${CMAKE_CURRENT_LIST_DIR}/matrix-server@.service\"
        \"${CMAKE_BINARY_DIR}/matrix-server@.service\" @ONLY)")
    install(FILES ${CMAKE_BINARY_DIR}/matrix-server@.service DESTINATION lib/systemd/system)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/matrix-server.sysusers DESTINATION lib/sysusers.d
      RENAME matrix-server.conf)
  endif()
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME matrix-controller)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "hdmimatrix.org")
set(CPACK_PACKAGE_CONTACT "Matrix Controller developers <matrix-controller@hdmimatrix.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "controller for a 4x4 HDMI2.0/HDBaseT matrix switch")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "A desktop controller for a 4x4 HDMI2.0/HDBaseT matrix switch reached over\n"
  "a serial cable or over Ethernet: routing, pre-settings, port tags, EDID,\n"
  "TCP module set-up and firmware upgrade. With matrixctl, the same from the\n"
  "command line, matrix-server, the same over HTTP, WebSocket and MQTT for\n"
  "many clients at once, and matrix-sim, a simulated matrix.")
set(CPACK_STRIP_FILES ON)

# Debian: its file-name convention, dependencies computed from the programs'
# libraries by dpkg-shlibdeps, files owned by root with the usual modes.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
