# Installs what a host needs: the library (and the engine it loads), the header, a CMake
# package (find_package(feed) gives feed::feed) and a pkg-config file (feed.pc).
include(CMakePackageConfigHelpers)

install(TARGETS feed EXPORT feedTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/feed
)
install(TARGETS tarn EXPORT feedTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
)
install(EXPORT feedTargets NAMESPACE feed:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/feed)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/feedConfig.cmake.in
  ${PROJECT_BINARY_DIR}/feedConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/feed
)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/feedConfigVersion.cmake
  COMPATIBILITY SameMajorVersion
)
install(FILES ${PROJECT_BINARY_DIR}/feedConfig.cmake ${PROJECT_BINARY_DIR}/feedConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/feed
)

configure_file(${PROJECT_SOURCE_DIR}/cmake/feed.pc.in ${PROJECT_BINARY_DIR}/feed.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/feed.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
