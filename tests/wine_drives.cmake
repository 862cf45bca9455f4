# cmake -DACTION=map|unmap -DPREFIX=<Wine prefix> -DDRIVES=<letter,...> -DDIRECTORY=<dir>
#       -P wine_drives.cmake
#
# map: gives each drive letter of DRIVES a fresh, empty directory under
# DIRECTORY, holding only the marker file that windows_behaviour_test looks
# for, and makes Wine show it as that drive through a symbolic link in the
# prefix's dosdevices. unmap: removes the links.
cmake_minimum_required(VERSION 3.21)
string(REPLACE "," ";" DRIVES "${DRIVES}")
foreach(letter IN LISTS DRIVES)
  string(TOLOWER "${letter}" letter)
  set(link ${PREFIX}/dosdevices/${letter}:)
  file(REMOVE ${link})
  if(ACTION STREQUAL "map")
    set(drive ${DIRECTORY}/${letter})
    file(REMOVE_RECURSE ${drive})
    file(MAKE_DIRECTORY ${drive} ${PREFIX}/dosdevices)
    file(TOUCH ${drive}/ostrel-scratch-drive)
    file(CREATE_LINK ${drive} ${link} SYMBOLIC)
  endif()
endforeach()
