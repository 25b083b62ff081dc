# The command-line client for integrators: sends one request and prints the answer.
add_executable(doorlock-client
  ${CMAKE_CURRENT_SOURCE_DIR}/client/ClientMain.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/client/ClientOptions.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/client/ClientRequest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/client/ClientConnection.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/client/ClientResponse.cpp
)
target_link_libraries(doorlock-client PRIVATE doorlock_platform)
