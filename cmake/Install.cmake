include(CMakePackageConfigHelpers)

install(TARGETS imgdesk EXPORT imgdeskTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/imgdesk)

# Public headers keep their source folders under include/imgdesk/, so hosts write
# #include "pixel/DataHandler.h". The platform headers come along: the public ones include them.
foreach(dir platform service pixel imagefile document scan module)
  install(DIRECTORY ${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/imgdesk/${dir}
    FILES_MATCHING PATTERN "*.h"
    PATTERN "internal" EXCLUDE)
endforeach()

install(EXPORT imgdeskTargets NAMESPACE imgdesk:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/imgdesk)
configure_package_config_file(cmake/imgdeskConfig.cmake.in
  ${PROJECT_BINARY_DIR}/imgdeskConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/imgdesk)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/imgdeskConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/imgdeskConfig.cmake ${PROJECT_BINARY_DIR}/imgdeskConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/imgdesk)

# The prefix is found relative to the .pc file, so a staged or moved install still works.
file(RELATIVE_PATH IMGDESK_PC_TO_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
configure_file(cmake/imgdesk.pc.in ${PROJECT_BINARY_DIR}/imgdesk.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/imgdesk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
