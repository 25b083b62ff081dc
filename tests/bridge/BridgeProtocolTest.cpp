// The messages between the bridge and encoder-host.exe: what one side writes, the
// other reads back whole, and a damaged message is refused rather than half-read.
#include "encoders/bridge/BridgeProtocol.h"

#include <gtest/gtest.h>

using namespace bridge;

namespace {

std::string Body(const std::string& frame) {
  EXPECT_GE(frame.size(), 4u);
  EXPECT_EQ(FrameLength(reinterpret_cast<const unsigned char*>(frame.data())), frame.size() - 4);
  return frame.substr(4);
}

TEST(BridgeProtocol, ACallTravelsWithEveryByteOfItsBuffers) {
  TCall call;
  call.Library = "RFL32";
  call.Function = "RoomCard";
  call.Slots = {0xFFFFFFFF, 2, 201, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0};
  call.Buffers = {{5, false, std::string("2405011407\0", 11)},
                  {7, false, std::string("\xB7\xBF\0\xFF", 4)},
                  {11, true, ""}};
  const std::string body = Body(EncodeCall(call));
  ASSERT_EQ(KindOf(body), TMessage::Call);
  const TCall back = DecodeCall(body);
  EXPECT_EQ(back.Library, call.Library);
  EXPECT_EQ(back.Function, call.Function);
  EXPECT_EQ(back.Slots, call.Slots);
  ASSERT_EQ(back.Buffers.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back.Buffers[i].Slot, call.Buffers[i].Slot);
    EXPECT_EQ(back.Buffers[i].Null, call.Buffers[i].Null);
    EXPECT_EQ(back.Buffers[i].Bytes, call.Buffers[i].Bytes);
  }
}

TEST(BridgeProtocol, AnswersReadBackAsWritten) {
  const TResult result =
      DecodeResult(Body(EncodeResult({0xFFFF8001, {"", std::string(151, '\0')}})));
  EXPECT_EQ(result.Value, 0xFFFF8001);
  EXPECT_EQ(result.Buffers, (std::vector<std::string>{"", std::string(151, '\0')}));

  const THostError error =
      DecodeError(Body(EncodeError({THostErrorKind::NotWindowsLibrary, 193, "IC32.dll"})));
  EXPECT_EQ(error.Kind, THostErrorKind::NotWindowsLibrary);
  EXPECT_EQ(error.Code, 193u);
  EXPECT_EQ(error.Detail, "IC32.dll");

  const THello hello = DecodeHello(Body(EncodeHello({kProtocolVersion, "Wine 8.0"})));
  EXPECT_EQ(hello.Version, kProtocolVersion);
  EXPECT_EQ(hello.Description, "Wine 8.0");
}

TEST(BridgeProtocol, DamagedMessagesAreRefused) {
  TCall call{"IC32", "GuestCard", {1, 2, 0, 0, 0}, {{2, false, "KPVZ4729"}}};
  const std::string good = Body(EncodeCall(call));
  const struct {
    const char* name;
    std::string body;
  } cases[] = {
      {"empty", ""},
      {"cut short", good.substr(0, good.size() - 1)},
      {"a byte too many", good + "x"},
      {"another kind", Body(EncodeHello({}))},
      {"a buffer for a slot the call does not have",
       Body(EncodeCall({"IC32", "OpenPort", {1}, {}})).substr(0, 1 + 8 + 12 + 1 + 4) +
           std::string("\x01\x09\x00\x00\x00\x00\x00\x00", 8)},
      {"a text longer than the message", std::string("\x02\xFF\xFF\xFF\x7F", 5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(DecodeCall(c.body), EProtocolError);
  }
  EXPECT_THROW(EncodeCall({"IC32", "X", std::vector<std::uint32_t>(kMaxSlots + 1), {}}),
               EProtocolError);
}

}  // namespace
