# Warnings and sanitizers are set once here and applied to every target of the
# project through the folder libraries and test binaries below.
add_library(talvenor_options INTERFACE)
target_compile_options(talvenor_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
if(TALVENOR_WERROR)
  target_compile_options(talvenor_options INTERFACE -Werror)
endif()
if(TALVENOR_SANITIZE)
  target_compile_options(talvenor_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(talvenor_options INTERFACE -fsanitize=address,undefined)
endif()
target_include_directories(talvenor_options INTERFACE ${PROJECT_SOURCE_DIR})

# A library of one folder: every .cpp directly in the folder.
function(talvenor_folder_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC talvenor_options ${ARGN})
  else()
    # A folder with headers only so far.
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE talvenor_options ${ARGN})
  endif()
endfunction()

# One test binary per subsystem: every .cpp in the test folder.
function(talvenor_folder_tests name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE talvenor_options GTest::gtest GTest::gtest_main GTest::gmock ${ARGN})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300
    ENVIRONMENT "TALVENOR_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
endfunction()
