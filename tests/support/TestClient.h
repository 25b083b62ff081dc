#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace testing_support {

// A connected client socket to 127.0.0.1; closes on destruction. Reads give up
// after ten seconds, so a test never hangs on a server that does not answer.
class TestClient {
 public:
  explicit TestClient(int port);
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool Connected() const { return fd_ >= 0; }
  bool Send(std::string_view bytes);
  // Tells the server nothing more will come.
  void ShutdownWrite();
  // Everything up to the server's close: the response with its 0x00 byte, or "".
  std::string ReadAll();
  // True when the server has closed the connection (a read returns end of file).
  bool ServerClosed();
  void Close();

 private:
  int fd_ = -1;
};

// One request: connect, send bytes, and read everything until the server closes.
// Bytes that do not end with the 0x00 byte are followed by the end of sending.
std::string Exchange(int port, std::string_view bytes);

// An "IssueCard" request document (UTF-8) with its fields at their positions.
std::string IssueCardRequest(const std::string& building, const std::string& floor,
                             const std::string& room, const std::string& guest,
                             const std::string& checkInDate, const std::string& checkInTime,
                             const std::string& checkOutDate, const std::string& checkOutTime,
                             const std::string& isCopy, const std::string& registerId = "R1");

// The framed response document: UTF-8 XML plus one 0x00 byte.
std::string FramedResponse(const std::string& code, const std::string& messageUtf8,
                           long long cardNo);

}  // namespace testing_support
