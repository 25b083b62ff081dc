target_sources(doorlock_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DoorlockTestFormUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DoorlockTestFormUnit.ui
)
