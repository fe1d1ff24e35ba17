# The picture libraries every program that reads or writes pictures links (kvrn, the lab, their
# tests): shared, or their archives for a static kvrn (KVRN_STATIC_TOOL), so that no program holds
# two copies of a library. Sets png_library, jpeg_library, exif_library and static_tool.
# Never the archives with the Python extension (KVRN_PYTHON), a shared object that may link the
# lab: Debian's archives are not compiled position-independent.
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(EXIF REQUIRED IMPORTED_TARGET libexif)

set(png_library PNG::PNG)
set(jpeg_library JPEG::JPEG)
set(exif_library PkgConfig::EXIF)
set(static_tool OFF)
if(KVRN_STATIC_TOOL AND NOT KVRN_SANITIZE AND NOT CMAKE_CROSSCOMPILING AND NOT KVRN_PYTHON)
  find_library(KVRN_PNG_ARCHIVE libpng16.a)
  find_library(KVRN_Z_ARCHIVE libz.a)
  find_library(KVRN_JPEG_ARCHIVE libjpeg.a)
  find_library(KVRN_EXIF_ARCHIVE libexif.a)
  if(KVRN_PNG_ARCHIVE AND KVRN_Z_ARCHIVE AND KVRN_JPEG_ARCHIVE AND KVRN_EXIF_ARCHIVE)
    add_library(kvrn_picture_archives INTERFACE)
    target_include_directories(kvrn_picture_archives INTERFACE ${PNG_INCLUDE_DIRS}
                               ${JPEG_INCLUDE_DIRS} ${EXIF_INCLUDE_DIRS})
    target_link_libraries(kvrn_picture_archives INTERFACE ${KVRN_PNG_ARCHIVE} ${KVRN_Z_ARCHIVE}
                          ${KVRN_JPEG_ARCHIVE} ${KVRN_EXIF_ARCHIVE} m)
    set(png_library kvrn_picture_archives)
    set(jpeg_library kvrn_picture_archives)
    set(exif_library kvrn_picture_archives)
    set(static_tool ON)
  else()
    message(STATUS "Static archives of libpng, zlib, libjpeg or libexif missing: kvrn is linked "
                   "with the shared libraries")
  endif()
endif()
