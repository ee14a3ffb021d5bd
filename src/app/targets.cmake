# quorvane.exe, the program itself (Windows build only).
if(WIN32)
  enable_language(RC)
  add_executable(quorvane WIN32
    ${CMAKE_CURRENT_LIST_DIR}/quorvane_win_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/res/quorvane.rc)
  target_link_libraries(quorvane PRIVATE quorvane_core)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/res/quorvane.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/res/quorvane.manifest;${CMAKE_CURRENT_LIST_DIR}/res/quorvane.ico")
endif()
