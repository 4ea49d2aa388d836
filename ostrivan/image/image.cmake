# The image core: the page, tag and header format, the ECC, the object model
# and the walks of the scan and the rebuild. It is plain C++: the program
# (MinGW) and the native sanitizer tests and fuzzer (host clang) compile the
# same files, every .cpp of this folder, through add_image_library.
#   include(.../ostrivan/image/image.cmake)
#   add_image_library(TARGET [further compile options])
set(OSTRIVAN_IMAGE_DIR ${CMAKE_CURRENT_LIST_DIR})
file(GLOB OSTRIVAN_IMAGE_SOURCES CONFIGURE_DEPENDS ${OSTRIVAN_IMAGE_DIR}/*.cpp)

function(add_image_library target)
  add_library(${target} STATIC ${OSTRIVAN_IMAGE_SOURCES})
  target_include_directories(${target} PUBLIC ${OSTRIVAN_IMAGE_DIR})
  # Every source starts with the guard, so that a Windows header reached from
  # any of them stops the build rather than tying the core to Windows.
  target_compile_options(${target} PRIVATE -include ${OSTRIVAN_IMAGE_DIR}/no-windows.h ${ARGN})
endfunction()
