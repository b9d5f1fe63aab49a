# Warnings and sanitizers for every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                    -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wshadow=local)
endif()

if(MV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(MV_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(MV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "MV_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  # Instrument everything for coverage; the fuzz targets add -fsanitize=fuzzer at link.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# A library that must not reach Qt: fails the configure step if one of its
# link dependencies is a Qt target.
function(mv_no_qt target)
  get_target_property(_libs ${target} LINK_LIBRARIES)
  foreach(_l IN LISTS _libs)
    if(_l MATCHES "^Qt")
      message(FATAL_ERROR "${target} is core code and must not link ${_l}")
    endif()
  endforeach()
endfunction()

# Adds each listed subdirectory that has a CMakeLists.txt, so that parts of
# the tree can land one at a time.
function(mv_add_subdirs)
  foreach(d IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/CMakeLists.txt)
      add_subdirectory(${d})
    endif()
  endforeach()
endfunction()
