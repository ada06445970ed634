# SPDX-License-Identifier: GPL-3.0-or-later
# The sound level and loudness meters' tab.
target_sources(ps_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/LoudnessTab.cpp ${CMAKE_CURRENT_LIST_DIR}/LoudnessTab.h)
