# `cmake --install` and the Debian package: the same files setup installs, laid out the Linux way,
# with the same MIME type and desktop entry. cmake/gui.cmake installs varlo and the help pages.
include(GNUInstallDirs)

install(TARGETS varlo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/varlo/examples)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/varlo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/varlo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/icons/varlo.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME varlo)
set(CPACK_PACKAGE_VENDOR Tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Evaluates packet networks with TCP and UDP flows (Z-iteration)")
set(CPACK_PACKAGE_DESCRIPTION
  "Varlo draws packet networks, defines TCP and UDP traffic and evaluates queue sizes, loss and\
 class rates over time with the Z-iteration fluid method; it also writes scripts for the ns and qns\
 simulators.")
set(CPACK_PACKAGE_CONTACT "Tolvane <varlo@tolvane.example>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg's triggers of these two refresh the MIME and desktop databases after installing.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
include(CPack)
