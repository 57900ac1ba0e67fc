# In-process tests under Wine: one executable per folder of tests/win/,
# each linked against the whole product library and run as one CTest test.
file(GLOB EE_TEST_SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
add_library(ee_test_support STATIC ${EE_TEST_SUPPORT_SOURCES})
target_link_libraries(ee_test_support PUBLIC ee_template_writer ee_product gtest gmock)
target_include_directories(ee_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

file(GLOB EE_WIN_TEST_AREAS LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/win/*)
foreach(area_dir ${EE_WIN_TEST_AREAS})
  if(NOT IS_DIRECTORY ${area_dir})
    continue()
  endif()
  get_filename_component(area ${area_dir} NAME)
  file(GLOB area_sources CONFIGURE_DEPENDS ${area_dir}/*.cpp)
  if(NOT area_sources)
    continue()
  endif()
  add_executable(${area}_tests ${area_sources})
  target_link_libraries(${area}_tests PRIVATE ee_test_support ee_resources)
  target_compile_definitions(${area}_tests PRIVATE EE_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/portable/data")
  add_test(NAME ${area}_tests COMMAND ${area}_tests)
  # The longest area takes about half a minute; a hang (the test's output
  # names the case) is cut off well before it costs the run ten minutes.
  set_tests_properties(${area}_tests PROPERTIES TIMEOUT 300)
endforeach()

# End-to-end tests start the real executable and drive it from outside.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/CMakeLists.txt)
  add_subdirectory(e2e)
endif()
