# SPDX-License-Identifier: GPL-3.0-or-later
# Compiler flags shared by every target of the project.

# Warnings for our own targets; -Werror when PHONOSCALE_WERROR is on (CI).
function(ps_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual -Wformat=2)
  if(PHONOSCALE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(PHONOSCALE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# A library target of one source folder: ps_library(name SOURCES ... DEPS ...)
function(ps_library name)
  cmake_parse_arguments(ARG "SHARED" "" "SOURCES;DEPS" ${ARGN})
  if(ARG_SHARED)
    add_library(${name} SHARED ${ARG_SOURCES})
  else()
    add_library(${name} STATIC ${ARG_SOURCES})
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/..)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  ps_warnings(${name})
endfunction()

# How test programs are compiled. Their own code needs little optimisation (the code under test
# is built as the build type says), so they are built with -O1 and line tables only. A program of
# three or more files parses the same large headers in each, so these are precompiled once for it:
# GoogleTest's and the standard library's, and Qt's for the tests of the window.
function(ps_test_build_options target qt)
  if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo)$")
    target_compile_options(${target} PRIVATE -O1 -g1)
  endif()
  get_target_property(sources ${target} SOURCES)
  list(LENGTH sources count)
  if(count LESS 3)
    return()
  endif()
  set(headers <gtest/gtest.h> <gmock/gmock.h> <algorithm> <cmath> <filesystem> <functional>
    <memory> <string> <vector>)
  if(qt)
    list(APPEND headers <QApplication> <QCheckBox> <QComboBox> <QImage> <QLabel> <QLineEdit>
      <QPainter> <QPushButton> <QString> <QTabWidget> <QTest> <QWidget>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

# A GoogleTest program: ps_test(name SOURCES ... DEPS ... [ENV var=value ...] [QT] [LOCK name])
# QT runs it with the offscreen Qt platform; LOCK keeps its cases from running while another
# test holding the same lock runs.
function(ps_test name)
  cmake_parse_arguments(ARG "QT" "LOCK" "SOURCES;DEPS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE PS_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  ps_warnings(${name})
  ps_test_build_options(${name} ${ARG_QT})
  set(env ${ARG_ENV})
  if(ARG_QT)
    list(APPEND env QT_QPA_PLATFORM=offscreen)
  endif()
  # Test names carry the program's name ("test_core.Levels.FullScaleSine") so that
  # "ctest -R core" selects a folder's tests.
  set(lock)
  if(ARG_LOCK)
    set(lock RESOURCE_LOCK ${ARG_LOCK})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${name}."
    PROPERTIES ENVIRONMENT "${env}" ${lock})
endfunction()

# ThreadSanitizer, for the hand-over soak of the external ADC (scripts/adc-soak.sh builds a
# Qt-free tree with it); not together with PHONOSCALE_SANITIZE.
option(PHONOSCALE_TSAN "Build with ThreadSanitizer" OFF)
if(PHONOSCALE_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Debian's hardening of every binary: stack protector, fortified C library calls (in optimised
# builds), read-only relocations bound at start-up. Not with the sanitizers, which bring their own.
if(NOT PHONOSCALE_SANITIZE AND NOT PHONOSCALE_TSAN)
  add_compile_options(-fstack-protector-strong)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
