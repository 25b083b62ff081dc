target_sources(doorlock_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EncoderLibraries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VeskDoorlockUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VeskV9DoorlockUnit.cpp
)

# The simulated encoder: the maker's three libraries as the project's own, and the
# encoder-sim tool, all beside the program. The state code and the few platform
# pieces it needs are compiled in with hidden symbols, so that each library exports
# only the maker's functions, and -Bsymbolic binds a library's calls to its own
# definitions (IC32 and RFL32 both define OpenPort).
set(_sim ${CMAKE_CURRENT_LIST_DIR}/simulator)
add_library(encoder_sim_state STATIC
  ${_sim}/SimEncoder.cpp
  ${_sim}/SimStatePosix.cpp
  ${CMAKE_SOURCE_DIR}/platform/FileContent.cpp
  ${CMAKE_SOURCE_DIR}/platform/IniFile.cpp
  ${CMAKE_SOURCE_DIR}/platform/Paths.cpp
  ${CMAKE_SOURCE_DIR}/platform/StrUtils.cpp
)
target_include_directories(encoder_sim_state PUBLIC ${CMAKE_SOURCE_DIR})
set_target_properties(encoder_sim_state PROPERTIES
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  POSITION_INDEPENDENT_CODE ON)

foreach(_library IC32 RFL32 Project2)
  add_library(encoder_sim_${_library} SHARED ${_sim}/Sim${_library}.cpp)
  target_link_libraries(encoder_sim_${_library} PRIVATE encoder_sim_state)
  target_link_options(encoder_sim_${_library} PRIVATE
    -Wl,-Bsymbolic -Wl,--exclude-libs,ALL -Wl,--no-undefined)
  set_target_properties(encoder_sim_${_library} PROPERTIES
    OUTPUT_NAME ${_library}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${DOORLOCK_BIN_DIR})
  # A copy in simulator/, to switch back to from the bridge edition by copying it
  # beside the program.
  add_custom_command(TARGET encoder_sim_${_library} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DOORLOCK_BIN_DIR}/simulator
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:encoder_sim_${_library}>
            ${DOORLOCK_BIN_DIR}/simulator/)
endforeach()

add_executable(encoder-sim ${_sim}/EncoderSimTool.cpp)
target_link_libraries(encoder-sim PRIVATE encoder_sim_state)
set_target_properties(encoder-sim PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DOORLOCK_BIN_DIR})

add_custom_target(encoder_sim DEPENDS
  encoder_sim_IC32 encoder_sim_RFL32 encoder_sim_Project2 encoder-sim)
