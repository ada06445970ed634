# SPDX-License-Identifier: GPL-3.0-or-later
# The tabs, each in a folder of its own, and what the tabs with views share (common/: the
# view-tab base, mappings, paint boxes, display settings), added to the UI library.
target_sources(ps_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/common/ViewMapping.cpp ${CMAKE_CURRENT_LIST_DIR}/common/ViewMapping.h
  ${CMAKE_CURRENT_LIST_DIR}/common/ViewMappingQt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/ViewMappingQt.h
  ${CMAKE_CURRENT_LIST_DIR}/common/ViewSettings.h
  ${CMAKE_CURRENT_LIST_DIR}/common/FramePacer.cpp ${CMAKE_CURRENT_LIST_DIR}/common/FramePacer.h
  ${CMAKE_CURRENT_LIST_DIR}/common/StaticCaptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/StaticCaptions.h
  ${CMAKE_CURRENT_LIST_DIR}/common/TraceReduction.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/TraceReduction.h
  ${CMAKE_CURRENT_LIST_DIR}/common/ViewPaintBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/ViewPaintBox.h
  ${CMAKE_CURRENT_LIST_DIR}/common/ViewTab.cpp ${CMAKE_CURRENT_LIST_DIR}/common/ViewTab.h
  ${CMAKE_CURRENT_LIST_DIR}/common/InstrumentHost.h
  ${CMAKE_CURRENT_LIST_DIR}/common/InstrumentTab.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/InstrumentTab.h
  ${CMAKE_CURRENT_LIST_DIR}/common/InstrumentRows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/InstrumentRows.h
  ${CMAKE_CURRENT_LIST_DIR}/common/LevelScale.cpp ${CMAKE_CURRENT_LIST_DIR}/common/LevelScale.h
  ${CMAKE_CURRENT_LIST_DIR}/spectrum/SpectrumTab.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spectrum/SpectrumTab.h
  ${CMAKE_CURRENT_LIST_DIR}/spectrum/SpectrumView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spectrum/MemoryTraces.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spectrum/MemoryTraces.h
  ${CMAKE_CURRENT_LIST_DIR}/spectrum/MemoryTracesWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spectrum/SpectrumOverlays.cpp
  ${CMAKE_CURRENT_LIST_DIR}/spectrum/SpectrumOverlays.h
  ${CMAKE_CURRENT_LIST_DIR}/spectrum/SpectrumOverlaysWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scope/ScopeTab.cpp ${CMAKE_CURRENT_LIST_DIR}/scope/ScopeTab.h
  ${CMAKE_CURRENT_LIST_DIR}/scope/ScopeView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/screenshot/ScreenshotTool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/screenshot/ScreenshotTool.h
  ${CMAKE_CURRENT_LIST_DIR}/screenshot/SeeThrough.cpp
  ${CMAKE_CURRENT_LIST_DIR}/screenshot/SeeThrough.h
  ${CMAKE_CURRENT_LIST_DIR}/screenshot/PagePictures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/peak/PeakTab.cpp ${CMAKE_CURRENT_LIST_DIR}/peak/PeakTab.h
  ${CMAKE_CURRENT_LIST_DIR}/detector/DetectorTab.cpp ${CMAKE_CURRENT_LIST_DIR}/detector/DetectorTab.h)

# The X11 compositing check of the transparent mode asks the X server through xcb; without it
# the window counts as not composing on X11.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PS_XCB QUIET IMPORTED_TARGET xcb)
endif()
if(PS_XCB_FOUND)
  target_link_libraries(ps_ui PRIVATE PkgConfig::PS_XCB)
  target_compile_definitions(ps_ui PRIVATE PHONOSCALE_HAVE_XCB)
endif()
