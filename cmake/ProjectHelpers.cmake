# A folder joins the build once it has its own CMakeLists.txt, so parts of the
# system can land one at a time.
function(add_optional_subdirectory dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()

# add_project_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [GUI])
# GUI tests run on Qt's offscreen platform so they need no display.
function(add_project_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  set(env "")
  if(T_GUI)
    set(env "QT_QPA_PLATFORM=offscreen")
  endif()
  # A hung test fails instead of holding up the whole run.
  gtest_discover_tests(${name}
    PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300
    DISCOVERY_TIMEOUT 60)
endfunction()
include(GoogleTest)
