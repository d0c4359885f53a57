# tavi_core_library(NAME dir [SUBDIRS sub ...] DEPS ...): a static library of every .cpp file in
# src/<dir> and in each src/<dir>/<sub>.
function(tavi_core_library name dir)
  cmake_parse_arguments(ARG "" "" "DEPS;SUBDIRS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  foreach(sub ${ARG_SUBDIRS})
    file(GLOB sub_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${sub}/*.cpp)
    list(APPEND sources ${sub_sources})
  endforeach()
  if(NOT sources)
    set(sources ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE tavi_warnings)
endfunction()

# tavi_test_dir(dir LIBS ...): one GoogleTest program per tests/<dir>/*_test.cpp file.
function(tavi_test_dir dir)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*_test.cpp)
  foreach(t ${tests})
    get_filename_component(base ${t} NAME_WE)
    set(target test_${dir}_${base})
    string(REGEX REPLACE "_test$" "" target ${target})
    add_executable(${target} ${t})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} tavi_test_support GTest::gmock_main tavi_warnings)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS "${dir};${ARG_LABELS}"
      ENVIRONMENT "TAVI_BIN_DIR=${CMAKE_BINARY_DIR}/bin;TAVI_SOURCE_DIR=${CMAKE_SOURCE_DIR};QT_QPA_PLATFORM=offscreen")
  endforeach()
endfunction()
