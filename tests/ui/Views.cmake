# SPDX-License-Identifier: GPL-3.0-or-later
# Tests of the spectrum and scope views: mappings, grids, captions and pixels of grabbed views.
ps_test(test_views QT
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_viewmapping.cpp
          ${CMAKE_CURRENT_LIST_DIR}/test_spectrum_view.cpp
          ${CMAKE_CURRENT_LIST_DIR}/test_scope_view.cpp
  DEPS ps_ui Qt6::Test)
