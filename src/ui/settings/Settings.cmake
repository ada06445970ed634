# SPDX-License-Identifier: GPL-3.0-or-later
# The settings files of the window: the key table, the readers, the writer and their triggers.
target_sources(ps_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/HeldSettings.h
  ${CMAKE_CURRENT_LIST_DIR}/SettingsBinding.cpp ${CMAKE_CURRENT_LIST_DIR}/SettingsBinding.h
  ${CMAKE_CURRENT_LIST_DIR}/SettingsTable.cpp ${CMAKE_CURRENT_LIST_DIR}/SettingsTriggers.cpp)
target_link_libraries(ps_ui PUBLIC ps_files)
