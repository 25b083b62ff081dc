#include "tests/support/TestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "doorlock/DoorlockMessageUnit.h"

namespace testing_support {

TestClient::TestClient(int port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Close();
    return;
  }
  timeval timeout{10, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

TestClient::~TestClient() {
  Close();
}

void TestClient::Close() {
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = -1;
}

bool TestClient::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0)
      return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void TestClient::ShutdownWrite() {
  ::shutdown(fd_, SHUT_WR);
}

std::string TestClient::ReadAll() {
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0)
      break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

bool TestClient::ServerClosed() {
  char byte;
  const ssize_t n = ::recv(fd_, &byte, 1, 0);
  return n == 0 || (n < 0 && errno == ECONNRESET);
}

std::string Exchange(int port, std::string_view bytes) {
  TestClient client(port);
  if (!client.Connected() || !client.Send(bytes))
    return {};
  // A request cut short ends the sending side, as a client that gives up does. A whole
  // one does not, as clients do not: a half-close sends a FIN of its own, which a
  // server under a burst of connections may meet before the request itself, and then
  // resets a connection it only knows by its SYN cookie.
  if (bytes.empty() || bytes.back() != '\0')
    client.ShutdownWrite();
  return client.ReadAll();
}

std::string IssueCardRequest(const std::string& building, const std::string& floor,
                             const std::string& room, const std::string& guest,
                             const std::string& checkInDate, const std::string& checkInTime,
                             const std::string& checkOutDate, const std::string& checkOutTime,
                             const std::string& isCopy, const std::string& registerId) {
  namespace F = IssueCardField;
  std::array<std::string, F::Count> fields;
  fields[F::RequestID] = "99";
  fields[F::RegisterId] = registerId;
  fields[F::RoomBuildingCode] = building;
  fields[F::RoomFloorCode] = floor;
  fields[F::RoomNo] = room;
  fields[F::GuestName] = guest;
  fields[F::CheckInDate] = checkInDate;
  fields[F::CheckInTime] = checkInTime;
  fields[F::CheckOutDate] = checkOutDate;
  fields[F::CheckOutTime] = checkOutTime;
  fields[F::IsCopy] = isCopy;
  // The values go in as they are: tests write entities and markup of their own.
  std::string document = "<DoorRequest type=\"IssueCard\">";
  for (std::size_t i = 0; i < F::Count; ++i) {
    const std::string name(kIssueCardFieldNames[i]);
    document += "<" + name + ">" + fields[i] + "</" + name + ">";
  }
  return document + "</DoorRequest>";
}

std::string FramedResponse(const std::string& code, const std::string& messageUtf8,
                           long long cardNo) {
  std::string bytes = "<DoorResponse><RequestID></RequestID><ResultCode>" + code +
                      "</ResultCode><ResultMessage>" + messageUtf8 + "</ResultMessage><CardNo>" +
                      std::to_string(cardNo) + "</CardNo></DoorResponse>";
  bytes.push_back('\0');
  return bytes;
}

}  // namespace testing_support
