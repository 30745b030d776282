# The command line's parser and the JSON reader and writer, for fleet/ and cli/.
find_package(CLI11 CONFIG QUIET)
find_package(nlohmann_json CONFIG QUIET)
# Both are header-only. A cross build sees neither package file, and the host's /usr/include
# must not reach the cross compiler (its C headers are the wrong ones): link just the two
# header folders into a directory of their own.
foreach(dep CLI11 nlohmann_json)
  if(dep STREQUAL "CLI11")
    set(target CLI11::CLI11)
    set(folder CLI)
  else()
    set(target nlohmann_json::nlohmann_json)
    set(folder nlohmann)
  endif()
  if(NOT TARGET ${target})
    find_path(${dep}_HOST_INCLUDE ${folder} PATHS /usr/include /usr/local/include
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    set(deps_dir ${PROJECT_BINARY_DIR}/header_deps)
    file(MAKE_DIRECTORY ${deps_dir})
    file(CREATE_LINK ${${dep}_HOST_INCLUDE}/${folder} ${deps_dir}/${folder} SYMBOLIC)
    add_library(${target} INTERFACE IMPORTED GLOBAL)
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${deps_dir})
  endif()
endforeach()
