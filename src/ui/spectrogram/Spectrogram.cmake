# SPDX-License-Identifier: GPL-3.0-or-later
# The spectrogram's tab, its picture and colour map.
target_sources(ps_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SpectrogramTab.cpp ${CMAKE_CURRENT_LIST_DIR}/SpectrogramTab.h
  ${CMAKE_CURRENT_LIST_DIR}/SpectrogramPicture.cpp ${CMAKE_CURRENT_LIST_DIR}/SpectrogramPicture.h
  ${CMAKE_CURRENT_LIST_DIR}/ColourMap.cpp ${CMAKE_CURRENT_LIST_DIR}/ColourMap.h)
