# The bridge edition of the encoder libraries, ready to be copied beside the program:
# build/bin/bridge/ holds libIC32.so, libRFL32.so and libProject2.so that forward
# every call, the libEncoderBridge.so they share, encoder-host.exe, and maker/ with
# the simulated encoder built as the maker's 32-bit Windows DLLs.
set(_bridge ${CMAKE_CURRENT_LIST_DIR}/bridge)

# The shared part: the host process, the protocol and the settings. Its platform
# pieces are compiled in with hidden symbols, as the simulated libraries' are.
add_library(encoder_bridge SHARED
  ${_bridge}/EncoderBridge.cpp
  ${_bridge}/BridgeProcess.cpp
  ${_bridge}/BridgeProtocol.cpp
  ${CMAKE_SOURCE_DIR}/platform/FileContent.cpp
  ${CMAKE_SOURCE_DIR}/platform/IniFile.cpp
  ${CMAKE_SOURCE_DIR}/platform/StrUtils.cpp
)
target_include_directories(encoder_bridge PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(encoder_bridge PRIVATE ${CMAKE_DL_LIBS} Threads::Threads)
# A unique symbol would keep the library loaded after the program lets it go, and with
# it the host it started.
target_compile_options(encoder_bridge PRIVATE -fno-gnu-unique)
target_link_options(encoder_bridge PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)
set_target_properties(encoder_bridge PROPERTIES
  OUTPUT_NAME EncoderBridge
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LIBRARY_OUTPUT_DIRECTORY ${DOORLOCK_BRIDGE_DIR})

foreach(_library IC32 RFL32 Project2)
  add_library(encoder_bridge_${_library} SHARED ${_bridge}/Bridge${_library}.cpp)
  target_link_libraries(encoder_bridge_${_library} PRIVATE encoder_bridge)
  target_link_options(encoder_bridge_${_library} PRIVATE -Wl,-Bsymbolic -Wl,--no-undefined)
  # libEncoderBridge.so is found beside them, wherever the folder is copied.
  set_target_properties(encoder_bridge_${_library} PROPERTIES
    OUTPUT_NAME ${_library}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    BUILD_WITH_INSTALL_RPATH ON
    INSTALL_RPATH "\$ORIGIN"
    LIBRARY_OUTPUT_DIRECTORY ${DOORLOCK_BRIDGE_DIR})
endforeach()

# The Windows half, cross-compiled with MinGW-w64 in a build of its own.
find_program(DOORLOCK_MINGW_CXX i686-w64-mingw32-g++ REQUIRED)
include(ExternalProject)
ExternalProject_Add(encoder_bridge_windows
  SOURCE_DIR ${_bridge}/windows
  BINARY_DIR ${CMAKE_BINARY_DIR}/bridge-windows
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${_bridge}/windows/mingw-i686.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DDOORLOCK_SOURCE_DIR=${CMAKE_SOURCE_DIR}
    -DDOORLOCK_WERROR=${DOORLOCK_WERROR}
    -DBRIDGE_OUTPUT_DIR=${DOORLOCK_BRIDGE_DIR}
    -DRECORDING_OUTPUT_DIR=${DOORLOCK_RECORDING_DLL_DIR}
    # The Linux build's flags from the environment (a package build's hardening) are
    # not the Windows compiler's.
    -DCMAKE_C_FLAGS=
    -DCMAKE_CXX_FLAGS=
    -DCMAKE_EXE_LINKER_FLAGS=
    -DCMAKE_SHARED_LINKER_FLAGS=
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD OFF)

add_custom_target(encoder_bridge_folder ALL DEPENDS
  encoder_bridge encoder_bridge_IC32 encoder_bridge_RFL32 encoder_bridge_Project2
  encoder_bridge_windows)
