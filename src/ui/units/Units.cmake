# SPDX-License-Identifier: GPL-3.0-or-later
# The units panel: SPL calibration, correction curves and the A/C/Z weightings.
target_sources(ps_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UnitsPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UnitsPanel.h ${CMAKE_CURRENT_LIST_DIR}/UnitsBinding.cpp)
