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

# quillmark_add_test(<name> SOURCES <files...> LIBS <targets...> [ENV <VAR=value...>]
#                    [THREADS <gtest filter>])
# Builds one GoogleTest program and registers each of its tests with CTest,
# labelled with the program's name (ctest -L <name> runs one program's tests).
#
# THREADS names the program's tests where threads meet ("*" for all of them):
# the ones the ThreadSanitizer build runs. With QUILLMARK_THREAD_TESTS_ONLY
# (the tsan preset) only those are registered, labelled "threads", and a
# program without any is left out of the build.
function(quillmark_add_test name)
  cmake_parse_arguments(ARG "" "THREADS" "SOURCES;LIBS;ENV" ${ARGN})
  set(exclude "")
  if(QUILLMARK_THREAD_TESTS_ONLY AND NOT ARG_THREADS)
    set(exclude EXCLUDE_FROM_ALL)
  endif()
  add_executable(${name} ${exclude} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}/tests")
  include(GoogleTest)
  set(label ${name})
  set(filter "")
  if(QUILLMARK_THREAD_TESTS_ONLY)
    if(NOT ARG_THREADS)
      return()
    endif()
    set(label threads)
    set(filter TEST_FILTER "${ARG_THREADS}")
  endif()
  gtest_discover_tests(${name}
    ${filter}
    DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENV}" TIMEOUT 300 LABELS ${label})
endfunction()
