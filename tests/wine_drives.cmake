# SPDX-License-Identifier: MIT
# cmake -DACTION=map|unmap -DPREFIX=<Wine prefix> -DDRIVES=<letter,...> -DDIRECTORY=<dir>
#       [-DSMALL_DRIVE=<letter> -DSMALL_SIZE=<tmpfs size>] -P wine_drives.cmake
#
# map: gives each drive letter of DRIVES a fresh, empty directory under
# DIRECTORY, holding only the marker file that windows_behaviour_test looks
# for, and makes Wine show it as that drive through a symbolic link in the
# prefix's dosdevices. The directory of SMALL_DRIVE is a tmpfs of SMALL_SIZE,
# a drive that fills up; mounting one needs root, and without it the drive
# gets no marker. unmap: removes the links and the mount.
cmake_minimum_required(VERSION 3.21)
string(REPLACE "," ";" DRIVES "${DRIVES}")
string(TOLOWER "${SMALL_DRIVE}" SMALL_DRIVE)
foreach(letter IN LISTS DRIVES)
  string(TOLOWER "${letter}" letter)
  set(link ${PREFIX}/dosdevices/${letter}:)
  set(drive ${DIRECTORY}/${letter})
  file(REMOVE ${link})
  if(letter STREQUAL SMALL_DRIVE)
    execute_process(COMMAND umount ${drive} OUTPUT_QUIET ERROR_QUIET)
  endif()
  if(ACTION STREQUAL "map")
    file(REMOVE_RECURSE ${drive})
    file(MAKE_DIRECTORY ${drive} ${PREFIX}/dosdevices)
    set(mounted 0)
    if(letter STREQUAL SMALL_DRIVE)
      execute_process(COMMAND mount -t tmpfs -o size=${SMALL_SIZE} ostrel-small-drive ${drive}
                      RESULT_VARIABLE mounted OUTPUT_QUIET ERROR_QUIET)
    endif()
    if(mounted EQUAL 0)
      file(TOUCH ${drive}/ostrel-scratch-drive)
    endif()
    file(CREATE_LINK ${drive} ${link} SYMBOLIC)
  endif()
endforeach()
