target_sources(doorlock_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EncoderLibraries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VeskDoorlockUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VeskV9DoorlockUnit.cpp
)
