# SPDX-License-Identifier: GPL-3.0-or-later
# The vector voltmeter's tab and the external source's handlers, added to the UI library.
target_sources(ps_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VoltmeterTab.cpp ${CMAKE_CURRENT_LIST_DIR}/VoltmeterTab.h
  ${CMAKE_CURRENT_LIST_DIR}/ExternalSource.cpp)
