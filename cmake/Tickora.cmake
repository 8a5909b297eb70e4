# tickora_library(NAME DIR [SOURCES_EXCLUDE regex] [LINK deps...])
# A static library from every .cpp directly in DIR; an empty folder gives an
# interface library so dependants link before the first source exists.
function(tickora_library name dir)
  cmake_parse_arguments(ARG "" "EXCLUDE" "LINK" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
  if(ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_LINK})
  endif()
endfunction()

# tickora_tests(DIR LINK deps...): one test program per test_*.cpp in DIR, so a
# suite that does not build never stops the others. Every other .cpp in DIR is
# shared support code compiled into each program of the folder.
function(tickora_tests dir)
  cmake_parse_arguments(ARG "" "LABEL" "LINK" ${ARGN})
  # Programs are named after the folder below tests/: platform_text_test_cstring, utils_test_gzip, ...
  file(RELATIVE_PATH sub ${PROJECT_SOURCE_DIR}/tests ${dir})
  string(REPLACE "/" "_" sub "${sub}")
  file(GLOB tests CONFIGURE_DEPENDS ${dir}/test_*.cpp)
  file(GLOB support CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER support EXCLUDE REGEX "/test_[^/]*\\.cpp$")
  foreach(t ${tests})
    get_filename_component(stem ${t} NAME_WE)
    set(exe ${sub}_${stem})
    add_executable(${exe} ${t} ${support})
    target_link_libraries(${exe} PRIVATE ${ARG_LINK} test_support GTest::gmock GTest::gtest_main)
    target_compile_definitions(${exe} PRIVATE TICKORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                              TICKORA_BINARY_DIR="${PROJECT_BINARY_DIR}")
    # Suites that put real windows on the shared display run alone, so no other
    # suite's windows stand in their screenshots.
    set(serial FALSE)
    if(stem MATCHES "gui|gtk|dhtml")
      set(serial TRUE)
    endif()
    # Labelled by program (named after its folder), so a run can pick suites or
    # folders with ctest -L: "-L utils_test_gzip", "-L platform_window".
    gtest_discover_tests(${exe} DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS ${exe} TIMEOUT 120 RUN_SERIAL ${serial}
                         WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  endforeach()
endfunction()
