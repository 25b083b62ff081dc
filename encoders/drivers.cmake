target_sources(doorlock_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EncoderLibraries.cpp
)
