# SPDX-License-Identifier: MIT
# The inifile package: the targets of the builds installed into this prefix,
# inifile::inifile_static and inifile::inifile_shared, each where its build
# was installed, and inifile::inifile, the shared library where it is
# installed, else the static one.
foreach(kind shared static)
  include(${CMAKE_CURRENT_LIST_DIR}/inifile-${kind}-targets.cmake OPTIONAL)
endforeach()

if(NOT TARGET inifile::inifile)
  add_library(inifile::inifile INTERFACE IMPORTED)
  if(TARGET inifile::inifile_shared)
    target_link_libraries(inifile::inifile INTERFACE inifile::inifile_shared)
  else()
    target_link_libraries(inifile::inifile INTERFACE inifile::inifile_static)
  endif()
endif()
