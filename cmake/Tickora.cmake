# tickora_library(NAME DIR [EXCLUDE regex] [LINK deps...] [PRIVATE deps...])
# A static library from every .cpp directly in DIR. LINK names what its
# headers build on, and dependants get it too; PRIVATE names what only its
# sources use: the platform libraries take their third-party libraries so,
# and code above them cannot include those libraries' headers. An empty
# folder gives an interface library so dependants link before the first
# source exists.
function(tickora_library name dir)
  cmake_parse_arguments(ARG "" "EXCLUDE" "LINK;PRIVATE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
  if(ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_link_libraries(${name} PUBLIC ${ARG_LINK} PRIVATE ${ARG_PRIVATE})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_LINK})
  endif()
endfunction()

# tickora_tests(DIR LINK deps... [SERIAL stems...] [SLOW stems...]): one test
# program per test_*.cpp in DIR, so a suite that does not build never stops
# the others. Every other .cpp in DIR is shared support code compiled into each
# program of the folder. The suites named in SERIAL put real windows on the
# shared display and run alone, so no other suite's windows stand in their
# screenshots. The suites named in SLOW run for minutes in the sanitizer build
# (unoptimised and instrumented) and are ended after 600 s instead of 120.
function(tickora_tests dir)
  cmake_parse_arguments(ARG "" "" "LINK;SERIAL;SLOW" ${ARGN})
  # Programs are named after the folder below tests/: platform_text_test_cstring, utils_http_test_gzip, ...
  file(RELATIVE_PATH sub ${PROJECT_SOURCE_DIR}/tests ${dir})
  string(REPLACE "/" "_" sub "${sub}")
  file(GLOB tests CONFIGURE_DEPENDS ${dir}/test_*.cpp)
  file(GLOB support CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER support EXCLUDE REGEX "/test_[^/]*\\.cpp$")
  foreach(stem ${ARG_SERIAL} ${ARG_SLOW})
    if(NOT EXISTS ${dir}/${stem}.cpp)
      message(FATAL_ERROR "tickora_tests: SERIAL or SLOW names ${stem}, which ${dir} does not hold")
    endif()
  endforeach()
  foreach(t ${tests})
    get_filename_component(stem ${t} NAME_WE)
    set(exe ${sub}_${stem})
    add_executable(${exe} ${t} ${support})
    target_link_libraries(${exe} PRIVATE ${ARG_LINK} test_support GTest::gmock GTest::gtest_main)
    target_compile_definitions(${exe} PRIVATE TICKORA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                              TICKORA_BINARY_DIR="${PROJECT_BINARY_DIR}")
    set(serial FALSE)
    if(stem IN_LIST ARG_SERIAL)
      set(serial TRUE)
    endif()
    set(timeout 120)
    if(stem IN_LIST ARG_SLOW)
      set(timeout 600)
    endif()
    # Labelled by program (named after its folder), so a run can pick suites or
    # folders with ctest -L: "-L utils_http_test_gzip", "-L platform_window".
    gtest_discover_tests(${exe} DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS ${exe} TIMEOUT ${timeout} RUN_SERIAL ${serial}
                         WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
  endforeach()
endfunction()

# tickora_layer_guard(targets...): the layer rule for code above the platform
# layer. Libraries with an include folder of their own (GTK, WebKit2GTK, GLib
# and GIO) are out of its reach once the platform libraries link them
# PRIVATE. The headers of libcurl, OpenSSL, libcanberra, Duktape and iconv lie
# in the system's include folder, which every target sees; for those a folder
# of stand-in headers goes first on the targets' include path, each stopping
# the build with an error that names the rule.
function(tickora_layer_guard)
  set(guard ${PROJECT_BINARY_DIR}/layer_guard)
  set(headers iconv.h canberra.h canberra-gtk.h duktape.h duk_config.h)
  # Every header of the libraries that keep theirs in a folder: curl/, openssl/
  # (the latter split between a common and an architecture folder).
  foreach(probe curl/curl.h openssl/ssl.h openssl/opensslconf.h)
    unset(found)
    find_file(found ${probe} NO_CACHE)
    if(found)
      get_filename_component(dir ${found} DIRECTORY)
      file(GLOB names RELATIVE ${dir}/.. ${dir}/*.h)
      list(APPEND headers ${names})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES headers)
  foreach(h ${headers})
    file(CONFIGURE OUTPUT ${guard}/${h}
         CONTENT "#error \"<${h}> belongs under platform/: only the platform layer and its tests use it\"\n")
  endforeach()
  foreach(t ${ARGN})
    if(TARGET ${t})
      target_include_directories(${t} BEFORE PRIVATE ${guard})
    endif()
  endforeach()
endfunction()
