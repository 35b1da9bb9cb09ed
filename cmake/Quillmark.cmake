# Shared helpers for the layer, test and benchmark targets.

# Adds every immediate subfolder of the current source folder that has a
# CMakeLists.txt, in name order.
function(quillmark_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${child}" AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt")
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# quillmark_add_test(<name> SOURCES <files...> LIBS <targets...> [ENV <VAR=value...>])
# Builds one GoogleTest program and registers each of its tests with CTest,
# labelled with the program's name (ctest -L <name> runs one program's tests).
function(quillmark_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}/tests")
  include(GoogleTest)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENV}" TIMEOUT 300 LABELS ${name})
endfunction()
