# Shared compile settings for Vemra's own targets.

# Warnings are errors for our own code only (third-party headers come in as SYSTEM).
add_library(vemra_warnings INTERFACE)
target_compile_options(vemra_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 reports false -Wrestrict overlaps inside std::string concatenation at -O3 (GCC bug 105329).
  target_compile_options(vemra_warnings INTERFACE -Wno-restrict)
endif()

add_library(vemra_sanitize INTERFACE)
if(VEMRA_SANITIZE)
  target_compile_options(vemra_sanitize INTERFACE -fsanitize=${VEMRA_SANITIZE} -fno-omit-frame-pointer -g)
  target_link_options(vemra_sanitize INTERFACE -fsanitize=${VEMRA_SANITIZE})
  if(VEMRA_SANITIZE MATCHES "undefined")
    target_compile_options(vemra_sanitize INTERFACE -fno-sanitize-recover=undefined)
  endif()
endif()

# vemra_test(<name> LABELS <labels...> SOURCES <files...> LIBS <targets...>)
# A GoogleTest program in bin/, its tests registered one by one with CTest under the given labels.
function(vemra_test name)
  cmake_parse_arguments(T "" "" "LABELS;SOURCES;LIBS" ${ARGN})
  if(NOT T_SOURCES)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main vemra_warnings vemra_sanitize)
  target_compile_definitions(${name} PRIVATE
    VEMRA_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures"
    VEMRA_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${T_LABELS}")
endfunction()
