target_sources(doorlock_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/OptionFormUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OptionFormUnit.ui
)
