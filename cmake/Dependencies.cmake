# The system libraries behind the platform stand-in layer and the service library. All come from
# Debian packages that scripts/install-deps.sh installs.
find_package(PkgConfig REQUIRED)
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(TIFF REQUIRED)
find_package(GIF REQUIRED)
find_package(LibArchive REQUIRED)
find_package(Cups REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
# Page text: Tesseract is linked; its language data is only read when a page is recognised.
pkg_check_modules(TESSERACT REQUIRED IMPORTED_TARGET GLOBAL tesseract)

add_library(imgdesk_deps INTERFACE)
target_link_libraries(imgdesk_deps INTERFACE
  JPEG::JPEG PNG::PNG TIFF::TIFF GIF::GIF LibArchive::LibArchive Cups::Cups OpenSSL::Crypto
  PkgConfig::TESSERACT)
