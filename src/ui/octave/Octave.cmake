# SPDX-License-Identifier: GPL-3.0-or-later
# The fractional-octave analyser's tab.
target_sources(ps_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/OctaveTab.cpp ${CMAKE_CURRENT_LIST_DIR}/OctaveTab.h)
