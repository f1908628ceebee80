# The musl release build (cmake/mipsel-linux-musl.cmake): SQLite compiled into
# the program, the glibc names of the static C++ runtime, the install prefix
# and the tree's own program interpreter.
#
# SQLite is linked statically into skedra.cgi rather than shipped as a
# library: the program is its only user in the tree, and a static link keeps
# only the parts it calls (section garbage collection) and saves the loader a
# library to map on every request. The firmware's own SQLite library shares the
# timer database with it through the default POSIX advisory locks of SQLite's
# unix VFS, which work between processes whatever copy of SQLite each one runs.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/skedra CACHE PATH "Install prefix on the recorder" FORCE)
endif()
set(SKEDRA_PROGRAM_INTERPRETER "${CMAKE_INSTALL_PREFIX}/lib/ld-musl-mipsel.so.1")

# Small code, one function or object a section, unused sections dropped.
add_compile_options(-Os -ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections -Wl,-O1)

# The program optimised whole at its link: what only one caller uses is
# folded into it and what no caller reaches is dropped across the libraries,
# which the flash and the loader's work on every request both feel.
# (CMake's own support check would build without the musl sysroot; the cross
# compiler is GCC, which has it.)
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)

# Compile options for a CGI that runs once per request in one thread: no
# mutexes, no extensions loaded at run time, no memory statistics (a global
# lock), no deprecated or shared-cache interfaces, no progress callbacks, and
# none of the interfaces that only tools use (authorizer, tracing, in-memory
# database images, incremental blob access, declared column types, the
# compile-option and introspection pragmas, Tcl-style parameters) nor the
# whole-table copy shortcut of INSERT ... SELECT. WAL, the default locking and
# the SQL dialect stay as they are: the database is the firmware's, and it may
# use any of them.
set(SKEDRA_SQLITE_OPTIONS
  SQLITE_THREADSAFE=0
  SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_DEFAULT_MEMSTATUS=0
  SQLITE_OMIT_DEPRECATED
  SQLITE_OMIT_SHARED_CACHE
  SQLITE_OMIT_PROGRESS_CALLBACK
  SQLITE_OMIT_JSON
  SQLITE_OMIT_DESERIALIZE
  SQLITE_OMIT_AUTHORIZATION
  SQLITE_OMIT_TRACE
  SQLITE_OMIT_COMPILEOPTION_DIAGS
  SQLITE_OMIT_INCRBLOB
  SQLITE_OMIT_DECLTYPE
  SQLITE_OMIT_INTROSPECTION_PRAGMAS
  SQLITE_OMIT_TCL_VARIABLE
  SQLITE_OMIT_XFER_OPT
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_MAX_EXPR_DEPTH=0
  SQLITE_DEFAULT_FOREIGN_KEYS=0
  HAVE_USLEEP=1
  HAVE_LOCALTIME_R=1
  HAVE_GMTIME_R=1)
add_library(sqlite3 STATIC ${SKEDRA_SQLITE_AMALGAMATION})
target_include_directories(sqlite3 PUBLIC ${SKEDRA_MUSL_SYSROOT}/sqlite)
target_compile_definitions(sqlite3 PRIVATE ${SKEDRA_SQLITE_OPTIONS})
target_compile_options(sqlite3 PRIVATE -w)
# One file already, and measured on its own in the link's map.
set_target_properties(sqlite3 PROPERTIES INTERPROCEDURAL_OPTIMIZATION OFF)
add_library(SQLite::SQLite3 ALIAS sqlite3)

# The glibc names that Debian's libstdc++ and libgcc refer to; an object
# library, since the runtime archives that need them come last on the link.
add_library(glibc_compat OBJECT ${CMAKE_SOURCE_DIR}/platform/glibc_compat.c)
# Only the runtime archives that come after it call these names: they must
# stay as they are, not be judged unused by the optimisation of the link.
set_target_properties(glibc_compat PROPERTIES INTERPROCEDURAL_OPTIMIZATION OFF)
