# SPDX-License-Identifier: GPL-3.0-or-later
# The "Distortion" tab, added to the UI library.
target_sources(ps_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DistortionTab.cpp ${CMAKE_CURRENT_LIST_DIR}/DistortionTab.h
  ${CMAKE_CURRENT_LIST_DIR}/DistortionView.cpp)
