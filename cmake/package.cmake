# The release tarball of the musl build: cmake --build DIR --target package
# writes skedra-<version>-mipsel.tar.gz, whose files unpack at / into the
# install prefix (/opt/skedra/...), with the musl loader in lib/.
# musl's loader is its C library too (libc.so, a link in the package).
get_filename_component(SKEDRA_MUSL_LOADER_FILE ${SKEDRA_MUSL_LOADER} REALPATH)
install(FILES ${SKEDRA_MUSL_LOADER_FILE} DESTINATION ${SKEDRA_LIB_DIR}
  RENAME ld-musl-mipsel.so.1
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
              WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_NAME skedra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME skedra-${PROJECT_VERSION}-mipsel)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
include(CPack)
