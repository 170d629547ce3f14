# Installs the libraries, their public headers and a CMake package, so that another project
# can find_package(Arealis) and link Arealis::arealis (and Arealis::shapefile, Arealis::formats).
include(CMakePackageConfigHelpers)

set(AREALIS_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Arealis)
set(AREALIS_INSTALLED_TARGETS arealis_collections arealis_library)
set(AREALIS_INSTALLED_HEADERS ${PROJECT_SOURCE_DIR}/collections/include/
                              ${PROJECT_SOURCE_DIR}/library/interface/)
if(TARGET arealis_shapefile)
  list(APPEND AREALIS_INSTALLED_TARGETS arealis_shapefile)
  list(APPEND AREALIS_INSTALLED_HEADERS ${PROJECT_SOURCE_DIR}/shapefile/include/)
endif()
# formats links GDAL privately; a static formats library still needs GDAL at the consumer's
# link, so the package's configuration finds GDAL when formats is part of it.
set(AREALIS_PACKAGE_HAS_FORMATS OFF)
if(TARGET arealis_formats)
  list(APPEND AREALIS_INSTALLED_TARGETS arealis_formats)
  list(APPEND AREALIS_INSTALLED_HEADERS ${PROJECT_SOURCE_DIR}/formats/include/)
  set(AREALIS_PACKAGE_HAS_FORMATS ON)
endif()

install(TARGETS ${AREALIS_INSTALLED_TARGETS} EXPORT ArealisTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${AREALIS_INSTALLED_HEADERS}
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/arealis
        FILES_MATCHING PATTERN "*.h")
install(EXPORT ArealisTargets NAMESPACE Arealis:: DESTINATION ${AREALIS_INSTALL_CMAKEDIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ArealisConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/ArealisConfig.cmake
                              INSTALL_DESTINATION ${AREALIS_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ArealisConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ArealisConfig.cmake
              ${PROJECT_BINARY_DIR}/ArealisConfigVersion.cmake
        DESTINATION ${AREALIS_INSTALL_CMAKEDIR})
