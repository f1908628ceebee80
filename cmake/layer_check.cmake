# The timer interface's libraries call downwards only: app, views, store,
# model, platform, each above the next (quib, lineup and sha1 below them all).
# skedra_layer_check(lib) links every object of lib into an empty program with
# nothing but the libraries lib declares: a call into a library above it (or
# one it does not declare) is left undefined and fails the build.
# Host builds only; sanitizer runtimes and cross builds resolve differently.
function(skedra_layer_check lib)
  if(CMAKE_CROSSCOMPILING OR SKEDRA_SANITIZE OR SKEDRA_FUZZ)
    return()
  endif()
  get_target_property(deps ${lib} LINK_LIBRARIES)
  if(NOT deps)
    set(deps "")
  endif()
  set(check ${lib}_layer_check)
  add_executable(${check} ${CMAKE_SOURCE_DIR}/cmake/layer_check.c)
  target_link_libraries(${check} PRIVATE
    -Wl,--whole-archive $<TARGET_FILE:${lib}> -Wl,--no-whole-archive ${deps})
  add_dependencies(${check} ${lib})
  set_target_properties(${check} PROPERTIES LINKER_LANGUAGE CXX RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/layer-check)
endfunction()

# skedra_forbid_includes(folder regex): no source or header in folder
# includes a header whose name matches regex (the model and the platform
# compile without SQLite or the CGI toolkit).
function(skedra_forbid_includes folder regex)
  file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp ${folder}/*.h)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^#include [<\"](${regex})")
    if(includes)
      message(FATAL_ERROR "${source} may not include ${includes}")
    endif()
  endforeach()
endfunction()
