target_sources(doorlock_gui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/GuiSupportUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/images/PicturesUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CheckPasswordFormUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CheckPasswordFormUnit.ui
  ${CMAKE_CURRENT_LIST_DIR}/ChangePasswordFormUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ChangePasswordFormUnit.ui
  ${CMAKE_CURRENT_LIST_DIR}/AboutFormUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AboutFormUnit.ui
  ${CMAKE_CURRENT_LIST_DIR}/MainFormUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MainFormUnit.ui
)
