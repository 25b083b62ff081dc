#include "encoders/bridge/BridgeProtocol.h"

namespace bridge {
namespace {

class TWriter {
 public:
  explicit TWriter(TMessage kind) { U8(static_cast<std::uint8_t>(kind)); }

  void U8(std::uint8_t value) { body_ += static_cast<char>(value); }
  void U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
      body_ += static_cast<char>((value >> shift) & 0xFF);
  }
  void Text(const std::string& text) {
    U32(static_cast<std::uint32_t>(text.size()));
    body_ += text;
  }

  std::string Frame() const {
    if (body_.size() > kMaxFrame)
      throw EProtocolError("message too long");
    TWriter length(body_.size());
    return length.body_ + body_;
  }

 private:
  explicit TWriter(std::size_t length) { U32(static_cast<std::uint32_t>(length)); }

  std::string body_;
};

class TReader {
 public:
  TReader(const std::string& body, TMessage expected) : body_(body) {
    if (static_cast<TMessage>(U8()) != expected)
      throw EProtocolError("unexpected message");
  }

  std::uint8_t U8() {
    Need(1);
    return static_cast<std::uint8_t>(body_[pos_++]);
  }
  std::uint32_t U32() {
    Need(4);
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= static_cast<std::uint32_t>(static_cast<unsigned char>(body_[pos_++])) << (8 * i);
    return value;
  }
  std::string Text() {
    const std::uint32_t size = U32();
    Need(size);
    std::string text = body_.substr(pos_, size);
    pos_ += size;
    return text;
  }
  // Trailing bytes mean the two sides disagree about the format.
  void End() const {
    if (pos_ != body_.size())
      throw EProtocolError("trailing bytes in message");
  }

 private:
  void Need(std::size_t count) const {
    if (body_.size() - pos_ < count)
      throw EProtocolError("message cut short");
  }

  const std::string& body_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string EncodeHello(const THello& hello) {
  TWriter out(TMessage::Hello);
  out.U32(hello.Version);
  out.Text(hello.Description);
  return out.Frame();
}

std::string EncodeCall(const TCall& call) {
  if (call.Slots.size() > kMaxSlots || call.Buffers.size() > call.Slots.size())
    throw EProtocolError("too many arguments");
  TWriter out(TMessage::Call);
  out.Text(call.Library);
  out.Text(call.Function);
  out.U8(static_cast<std::uint8_t>(call.Slots.size()));
  for (const std::uint32_t slot : call.Slots)
    out.U32(slot);
  out.U8(static_cast<std::uint8_t>(call.Buffers.size()));
  for (const TBuffer& buffer : call.Buffers) {
    out.U8(buffer.Slot);
    out.U8(buffer.Null ? 1 : 0);
    out.Text(buffer.Bytes);
  }
  return out.Frame();
}

std::string EncodeResult(const TResult& result) {
  TWriter out(TMessage::Result);
  out.U32(result.Value);
  out.U8(static_cast<std::uint8_t>(result.Buffers.size()));
  for (const std::string& buffer : result.Buffers)
    out.Text(buffer);
  return out.Frame();
}

std::string EncodeError(const THostError& error) {
  TWriter out(TMessage::Error);
  out.U8(static_cast<std::uint8_t>(error.Kind));
  out.U32(error.Code);
  out.Text(error.Detail);
  return out.Frame();
}

TMessage KindOf(const std::string& body) {
  if (body.empty())
    throw EProtocolError("empty message");
  return static_cast<TMessage>(static_cast<unsigned char>(body[0]));
}

THello DecodeHello(const std::string& body) {
  TReader in(body, TMessage::Hello);
  THello hello;
  hello.Version = in.U32();
  hello.Description = in.Text();
  in.End();
  return hello;
}

TCall DecodeCall(const std::string& body) {
  TReader in(body, TMessage::Call);
  TCall call;
  call.Library = in.Text();
  call.Function = in.Text();
  const std::uint8_t slots = in.U8();
  if (slots > kMaxSlots)
    throw EProtocolError("too many arguments");
  for (std::uint8_t i = 0; i < slots; ++i)
    call.Slots.push_back(in.U32());
  const std::uint8_t buffers = in.U8();
  for (std::uint8_t i = 0; i < buffers; ++i) {
    TBuffer buffer;
    buffer.Slot = in.U8();
    buffer.Null = in.U8() != 0;
    buffer.Bytes = in.Text();
    if (buffer.Slot >= slots)
      throw EProtocolError("buffer for a missing argument");
    call.Buffers.push_back(std::move(buffer));
  }
  in.End();
  return call;
}

TResult DecodeResult(const std::string& body) {
  TReader in(body, TMessage::Result);
  TResult result;
  result.Value = in.U32();
  const std::uint8_t buffers = in.U8();
  for (std::uint8_t i = 0; i < buffers; ++i)
    result.Buffers.push_back(in.Text());
  in.End();
  return result;
}

THostError DecodeError(const std::string& body) {
  TReader in(body, TMessage::Error);
  THostError error;
  error.Kind = static_cast<THostErrorKind>(in.U8());
  error.Code = in.U32();
  error.Detail = in.Text();
  in.End();
  return error;
}

std::uint32_t FrameLength(const unsigned char header[4]) {
  return static_cast<std::uint32_t>(header[0]) | static_cast<std::uint32_t>(header[1]) << 8 |
         static_cast<std::uint32_t>(header[2]) << 16 | static_cast<std::uint32_t>(header[3]) << 24;
}

}  // namespace bridge
