include(CMakePackageConfigHelpers)

install(TARGETS imgdesk EXPORT imgdeskTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/imgdesk)

# Public headers keep their source folders under include/imgdesk/, so hosts write
# #include "pixel/DataHandler.h". The platform headers they include come along, and the print
# stand-in's printer and dialog, through which a host (the tool among them) offers its own print
# dialog and watches what the printer answers; the shell, codec and heap stand-ins, and every
# internal/ folder, stay in the source tree.
set(IMGDESK_PUBLIC_HEADERS
  service/CoreKit.h service/Jpg2Pdf.h service/Thumbs.h service/Zip.h
  pixel/DataHandler.h
  imagefile/GdiImage.h
  document/DocDesk.h
  scan/PageScan.h scan/PageClean.h)
if(EXISTS ${PROJECT_SOURCE_DIR}/scan/PageText.h)
  list(APPEND IMGDESK_PUBLIC_HEADERS scan/PageText.h)
endif()
set(IMGDESK_PLATFORM_HEADERS
  module/Export.h
  platform/WinTypes.h platform/CString.h platform/Rect.h platform/Files.h
  platform/atlimage/AtlImage.h
  platform/com/ObjBase.h platform/com/Resources.h
  platform/gdi/Gdi.h
  platform/gdiplus/GdiPlus.h
  platform/gdi/DeviceContext.h
  platform/print/AfxPrint.h platform/print/PrintDC.h platform/print/PageSink.h
  platform/print/PrintChooser.h)
foreach(header IN LISTS IMGDESK_PUBLIC_HEADERS IMGDESK_PLATFORM_HEADERS)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/imgdesk/${folder})
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
