# One interface target carries the language level and warnings for every target.
add_library(hxt24_options INTERFACE)
target_compile_features(hxt24_options INTERFACE cxx_std_20)
if(MSVC)
  # A native Windows build with Visual C++: sources are UTF-8.
  target_compile_options(hxt24_options INTERFACE /W4 /utf-8 /permissive- /Zc:__cplusplus)
  if(HXT24_WERROR)
    target_compile_options(hxt24_options INTERFACE /WX)
  endif()
else()
  target_compile_options(hxt24_options INTERFACE -Wall -Wextra -Wpedantic)
  if(HXT24_WERROR)
    target_compile_options(hxt24_options INTERFACE -Werror)
  endif()
endif()
target_include_directories(hxt24_options INTERFACE ${PROJECT_SOURCE_DIR})
if(WIN32)
  # The Windows sources call the W functions by name; windows.h stays lean and
  # leaves std::min/std::max alone. Windows 7 is the oldest system supported.
  target_compile_definitions(hxt24_options INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

# Registers one GoogleTest program with CTest. LABELS lets CI pick the threaded
# tests for the ThreadSanitizer run ("threads"). WIN32_SKIP names the test
# groups (gtest patterns, ':'-separated) that the Windows build does not run
# under Wine, e.g. those that build their catalogs with the host's msgfmt.
function(add_hxt24_test name)
  cmake_parse_arguments(T "" "WIN32_SKIP" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE hxt24_options ${T_LIBS} GTest::gtest GTest::gtest_main)
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if("threads" IN_LIST T_LABELS)
    # A threaded test that hangs fails after two minutes instead of blocking CI.
    list(APPEND props TIMEOUT 120)
  endif()
  set(filter)
  if(WIN32 AND T_WIN32_SKIP)
    set(filter TEST_FILTER "-${T_WIN32_SKIP}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    ${filter}
    PROPERTIES ${props})
endfunction()
