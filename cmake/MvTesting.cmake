# mv_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>]
#             [ENVIRONMENT <VAR=value...>] [FIXTURES <fixtures...>] [QT])
#
# One GoogleTest executable, registered with CTest test by test. Tests that
# need the project's database and print servers list the fixtures
# "services" (see tests/CMakeLists.txt). QT tests run on the offscreen
# platform and use the project's Qt test main.
find_package(GTest REQUIRED)
include(GoogleTest)

set(MV_TEST_DATA_DIR ${PROJECT_SOURCE_DIR}/tests/data)

function(mv_add_test name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;LIBS;LABELS;ENVIRONMENT;FIXTURES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)  # support/
  if(ARG_QT)
    target_link_libraries(${name} PRIVATE mv_qt_test_main)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE
    MV_TEST_DATA_DIR="${MV_TEST_DATA_DIR}"
    MV_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    MV_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(env QT_QPA_PLATFORM=offscreen ${MV_TEST_ENVIRONMENT} ${ARG_ENVIRONMENT})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_LIST ${name}_TESTS)
  # gtest_discover_tests(PROPERTIES ...) flattens list values, which pairs
  # the second environment variable with the third as property and value and
  # loses LABELS. So the properties are set by a file that ctest reads after
  # the discovered tests, each list kept whole in a bracket argument.
  set(text "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES\n")
  string(APPEND text "    ENVIRONMENT [==[${env}]==]\n")
  if(ARG_LABELS)
    string(APPEND text "    LABELS [==[${ARG_LABELS}]==]\n")
  endif()
  if(ARG_FIXTURES)
    string(APPEND text "    FIXTURES_REQUIRED [==[${ARG_FIXTURES}]==]\n")
  endif()
  string(APPEND text "  )\nendif()\n")
  set(props_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
  file(WRITE ${props_file} "${text}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${props_file})
endfunction()
