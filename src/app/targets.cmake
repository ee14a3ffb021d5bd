# quorvane.exe, the program itself (Windows build only).
if(WIN32)
  enable_language(RC)
  add_executable(quorvane WIN32
    ${CMAKE_CURRENT_LIST_DIR}/quorvane_win_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/res/quorvane.rc)
  target_link_libraries(quorvane PRIVATE quorvane_core)

  # The file's version information and its manifest carry project()'s version, as Windows
  # writes it: four numbers, the missing ones 0.
  set(version_numbers)
  foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
      list(APPEND version_numbers 0)
    else()
      list(APPEND version_numbers ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  list(JOIN version_numbers "," QUORVANE_VERSION_COMMAS)
  list(JOIN version_numbers "." QUORVANE_VERSION_DOTS)
  # The manifest names the program's own architecture; Windows refuses to start a 64-bit program
  # that claims to be x86, and a 64-bit one must take the Common Controls of any architecture.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QUORVANE_MANIFEST_ARCH amd64)
    set(QUORVANE_COMMON_CONTROLS_ARCH "*")
  else()
    set(QUORVANE_MANIFEST_ARCH x86)
    set(QUORVANE_COMMON_CONTROLS_ARCH x86)
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/res/quorvane.manifest
                 ${CMAKE_BINARY_DIR}/res/quorvane.exe.manifest @ONLY)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/res/quorvane.rc PROPERTIES
    COMPILE_DEFINITIONS
      "QUORVANE_VERSION_COMMAS=${QUORVANE_VERSION_COMMAS};QUORVANE_VERSION_DOTS=${QUORVANE_VERSION_DOTS}"
    INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/res
    OBJECT_DEPENDS
      "${CMAKE_BINARY_DIR}/res/quorvane.exe.manifest;${CMAKE_CURRENT_LIST_DIR}/res/quorvane.ico;${CMAKE_CURRENT_LIST_DIR}/res/product.h")
endif()

# The manifest test reads the manifest this build configured.
if(WIN32 AND TARGET app_tests)
  target_compile_definitions(app_tests PRIVATE QUORVANE_MANIFEST="${CMAKE_BINARY_DIR}/res/quorvane.exe.manifest")
endif()
