# SPDX-License-Identifier: GPL-3.0-or-later
# The frequency response's tab.
target_sources(ps_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ResponseTab.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ResponseTab.h)
