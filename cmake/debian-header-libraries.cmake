# nlohmann-json and CLI11 are header-only; Debian installs them under /usr/include, which a
# cross build must not search as a whole (it holds the host's C library). Their headers are
# offered through a directory of their own, and find_package is answered from it.
set(rv740x_headers ${CMAKE_BINARY_DIR}/debian-headers)
file(MAKE_DIRECTORY ${rv740x_headers})
foreach(dir nlohmann CLI)
  if(NOT EXISTS ${rv740x_headers}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${rv740x_headers}/${dir} SYMBOLIC)
  endif()
endforeach()

foreach(package nlohmann_json CLI11)
  string(TOLOWER ${package} lower)
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config.cmake "
if(NOT TARGET ${package}::${package})
  add_library(${package}::${package} INTERFACE IMPORTED)
  set_target_properties(${package}::${package} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${rv740x_headers})
endif()
")
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config-version.cmake "
set(PACKAGE_VERSION_COMPATIBLE TRUE)
set(PACKAGE_VERSION_EXACT FALSE)
set(PACKAGE_VERSION 3.11)
")
endforeach()
