# The carried archive: a program packed, stored, into a RAR archive that
# another program embeds as its resource NM1 of type LX1.
#
#   add_carried_archive(TARGET PROGRAM_FILE PROGRAM_TARGET)
#
# PROGRAM_FILE (for example $<TARGET_FILE:ostrivan>) is packed as member
# "ostrivan.exe" into ${CMAKE_CURRENT_BINARY_DIR}/ostrivan.rar once
# PROGRAM_TARGET is built; TARGET gets a generated .rc holding that archive
# and relinks whenever the archive changes. Several targets of one directory
# may carry the same archive; it is packed once.
#
# The packer is built for the build machine with its own compiler: in a
# cross build CMAKE_CXX_COMPILER makes Windows programs.

set(CARRIED_ARCHIVE_PACKER_SOURCE ${CMAKE_CURRENT_LIST_DIR}/../tools/rarpack.cpp)

function(_carried_archive_packer out_var)
  set(packer ${CMAKE_BINARY_DIR}/tools/rarpack)
  if(NOT TARGET rarpack_host)
    find_program(CARRIED_ARCHIVE_HOST_CXX NAMES c++ g++ clang++ REQUIRED
                 DOC "C++ compiler of the build machine, for the archive packer")
    add_custom_command(
      OUTPUT ${packer}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/tools
      COMMAND ${CARRIED_ARCHIVE_HOST_CXX} -std=c++17 -O2 -o ${packer} ${CARRIED_ARCHIVE_PACKER_SOURCE}
      DEPENDS ${CARRIED_ARCHIVE_PACKER_SOURCE}
      COMMENT "Building the archive packer for the build machine"
      VERBATIM)
    add_custom_target(rarpack_host DEPENDS ${packer})
  endif()
  set(${out_var} ${packer} PARENT_SCOPE)
endfunction()

function(add_carried_archive TARGET PROGRAM_FILE PROGRAM_TARGET)
  _carried_archive_packer(packer)
  set(archive ${CMAKE_CURRENT_BINARY_DIR}/ostrivan.rar)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/ostrivan-carried.rc)
  # One custom target per directory drives the packing, so targets that carry
  # the same archive never run the rule side by side.
  string(MD5 dir_hash "${CMAKE_CURRENT_BINARY_DIR}")
  set(driver carried_archive_${dir_hash})
  get_property(packed DIRECTORY PROPERTY CARRIED_ARCHIVE_PROGRAM)
  if(NOT TARGET ${driver})
    add_custom_command(
      OUTPUT ${archive}
      COMMAND ${packer} ${archive} ostrivan.exe ${PROGRAM_FILE}
      DEPENDS ${packer} rarpack_host ${PROGRAM_TARGET} ${PROGRAM_FILE}
      COMMENT "Packing ${PROGRAM_TARGET} into ostrivan.rar"
      VERBATIM)
    add_custom_target(${driver} DEPENDS ${archive})
    set_property(DIRECTORY PROPERTY CARRIED_ARCHIVE_PROGRAM "${PROGRAM_FILE}")
    # windres reads the path inside a C string: escape backslashes and quotes.
    string(REPLACE "\\" "\\\\" rc_path "${archive}")
    string(REPLACE "\"" "\\\"" rc_path "${rc_path}")
    file(CONFIGURE OUTPUT ${rc} CONTENT "NM1 LX1 \"${rc_path}\"\n" @ONLY)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${archive})
  elseif(NOT packed STREQUAL PROGRAM_FILE)
    message(FATAL_ERROR "add_carried_archive: ${CMAKE_CURRENT_BINARY_DIR} already carries ${packed}, not ${PROGRAM_FILE}")
  endif()
  add_dependencies(${TARGET} ${driver})
  target_sources(${TARGET} PRIVATE ${rc})
endfunction()
