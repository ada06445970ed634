# The spectrum and scope views: mappings, tabs and paint boxes, added to the UI library.
target_sources(ps_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ViewMapping.cpp ${CMAKE_CURRENT_LIST_DIR}/ViewMapping.h
  ${CMAKE_CURRENT_LIST_DIR}/ViewMappingQt.cpp ${CMAKE_CURRENT_LIST_DIR}/ViewMappingQt.h
  ${CMAKE_CURRENT_LIST_DIR}/ViewSettings.h
  ${CMAKE_CURRENT_LIST_DIR}/ViewPaintBox.cpp ${CMAKE_CURRENT_LIST_DIR}/ViewPaintBox.h
  ${CMAKE_CURRENT_LIST_DIR}/SpectrumTab.cpp ${CMAKE_CURRENT_LIST_DIR}/SpectrumTab.h
  ${CMAKE_CURRENT_LIST_DIR}/SpectrumView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScopeTab.cpp ${CMAKE_CURRENT_LIST_DIR}/ScopeTab.h
  ${CMAKE_CURRENT_LIST_DIR}/ScopeView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/common/ViewTab.cpp ${CMAKE_CURRENT_LIST_DIR}/common/ViewTab.h
  ${CMAKE_CURRENT_LIST_DIR}/peak/PeakTab.cpp ${CMAKE_CURRENT_LIST_DIR}/peak/PeakTab.h
  ${CMAKE_CURRENT_LIST_DIR}/detector/DetectorTab.cpp ${CMAKE_CURRENT_LIST_DIR}/detector/DetectorTab.h)
