# Install layout, the tree that is copied onto the recorder (or served by the
# demo):
#
#   DIR/www/cgi-bin/skedra.cgi   the program, under the name the pages link to
#   DIR/www/cgi-bin/*.shtml      the page templates; the web server starts a CGI
#                                in its own directory, which is where the
#                                program reads its templates from
#   DIR/www/cgi-bin/openapi.json the JSON interface's description, which the
#                                program sends as it is
#   DIR/www/*.css                the stylesheet, served as a plain file
#   DIR/lib/liblineup.so         the channel library, found through the
#                                program's RPATH $ORIGIN/../../lib
#
# Usage: cmake --install build --prefix DIR

set(SKEDRA_CGI_DIR www/cgi-bin)
set(SKEDRA_LIB_DIR lib)

set_target_properties(skedra PROPERTIES INSTALL_RPATH "$ORIGIN/../../${SKEDRA_LIB_DIR}")

install(TARGETS lineup LIBRARY DESTINATION ${SKEDRA_LIB_DIR})
install(TARGETS skedra RUNTIME DESTINATION ${SKEDRA_CGI_DIR})
# install(TARGETS) rewrites the RPATH but cannot rename; give the installed
# program the name that the pages' forms and links use.
install(CODE [[
  set(cgi_dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/www/cgi-bin")
  file(RENAME "${cgi_dir}/skedra" "${cgi_dir}/skedra.cgi")
  message(STATUS "Installing: ${cgi_dir}/skedra.cgi")
]])

# Templates go beside the program, everything the browser fetches directly
# into the document root.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/www/ DESTINATION ${SKEDRA_CGI_DIR}
  FILES_MATCHING PATTERN "*.shtml" PATTERN "*.inc")
install(FILES ${CMAKE_BINARY_DIR}/openapi.json DESTINATION ${SKEDRA_CGI_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/www/ DESTINATION www
  FILES_MATCHING PATTERN "*.css" PATTERN "*.png" PATTERN "*.ico" PATTERN "*.svg")
