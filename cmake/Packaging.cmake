# Installs what a host needs: the library (and the engine it loads), the header, a CMake
# package (find_package(feed) gives feed::feed) and a pkg-config file (feed.pc).
include(CMakePackageConfigHelpers)

install(TARGETS feed EXPORT feedTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/feed
)
# The libraries and feedcat find each other relative to where they are installed.
file(RELATIVE_PATH FEED_BIN_TO_LIB "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${CMAKE_INSTALL_LIBDIR}")
set_target_properties(feed tarn PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(feedcat PROPERTIES INSTALL_RPATH "$ORIGIN/${FEED_BIN_TO_LIB}")
install(TARGETS feedcat RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

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

# feed.pc finds the prefix from its own place, so the installed tree can be moved or installed
# under any --prefix; hosts get a run path to the library, wherever that is.
file(RELATIVE_PATH FEED_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/feed.pc.in ${PROJECT_BINARY_DIR}/feed.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/feed.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
