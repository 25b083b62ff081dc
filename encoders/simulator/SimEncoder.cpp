#include "encoders/simulator/SimEncoder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "encoders/CardNumber.h"
#include "platform/IniFile.h"
#include "platform/StrUtils.h"

namespace sim {
namespace {

constexpr const char* kEncoder = "Encoder";
constexpr const char* kCardSection = "Card";
constexpr const char* kFailures = "Failures";

const char* KindName(TCardKind kind) {
  switch (kind) {
    case TCardKind::None:
      return "none";
    case TCardKind::Blank:
      return "blank";
    case TCardKind::IC:
      return "IC";
    case TCardKind::RFV9:
      return "RF-V9";
  }
  return "none";
}

TCardKind KindFromName(std::string_view name) {
  for (TCardKind kind : {TCardKind::Blank, TCardKind::IC, TCardKind::RFV9}) {
    if (name == KindName(kind))
      return kind;
  }
  return TCardKind::None;
}

// Card bytes go into the file as they are, GBK included; only control bytes, blanks
// and the backslash are written as \xNN, so that every byte comes back unchanged.
std::string Escape(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b == 0x7F || c == '\\') {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
        plat::HexDigitValue(text[i + 2]) >= 0 && plat::HexDigitValue(text[i + 3]) >= 0) {
      out += static_cast<char>(plat::HexDigitValue(text[i + 2]) * 16 +
                               plat::HexDigitValue(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// "YYYYMMDDHHNN" (IC) or "YYMMDDHHNN" (RF-V9) as "yyyy-mm-dd hh:nn"; any other text
// as it stands.
std::string ReadableTime(const std::string& text) {
  for (const char c : text) {
    if (c < '0' || c > '9')
      return text;
  }
  std::string full;
  if (text.size() == 12) {
    full = text;
  } else if (text.size() == 10) {
    full = "20" + text;
  } else {
    return text;
  }
  return full.substr(0, 4) + "-" + full.substr(4, 2) + "-" + full.substr(6, 2) + " " +
         full.substr(8, 2) + ":" + full.substr(10, 2);
}

}  // namespace

bool Is16Bit(std::string_view function) {
  return function == "IC32.GuestCard" || function == "IC32.CardClear" ||
         function == "RFL32.RoomCard" || function == "RFL32.LogoutCard";
}

std::int32_t TState::Failure(std::string_view function) const {
  const auto found = Failures.find(std::string(function));
  return found == Failures.end() ? 0 : found->second;
}

void TState::PutBlankCard(std::uint32_t serial) {
  Card = TCard();
  Card.Serial = serial;
}

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/')
    dir += '/';
  return dir;
}

TStateFile::TStateFile(const std::string& dir)
    : path_(WithSlash(dir) + kStateFileName), lock_(WithSlash(dir) + kLockFileName) {}

TState TStateFile::Load() const {
  const plat::TIniFile ini(path_);
  TState state;
  state.Connected = ini.ReadBool(kEncoder, "Connected", true);
  state.Beeps = ini.ReadInteger(kEncoder, "Beeps", 0);
  state.IC32Handle = ini.ReadInteger(kEncoder, "IC32Handle", 0);
  state.LastIC32Handle = ini.ReadInteger(kEncoder, "LastIC32Handle", 0);

  TCard& card = state.Card;
  card.Kind = KindFromName(ini.ReadString(kCardSection, "Kind", "blank"));
  card.Serial = static_cast<std::uint32_t>(
      ini.ReadInteger(kCardSection, "Serial", static_cast<std::int32_t>(kDefaultSerial)));
  card.Cancelled = ini.ReadBool(kCardSection, "Cancelled", false);
  card.CardNo = ini.ReadInteger(kCardSection, "CardNo", 0);
  card.HotelCode = Unescape(ini.ReadString(kCardSection, "HotelCode", ""));
  card.Room = Unescape(ini.ReadString(kCardSection, "Room", ""));
  card.StartTime = Unescape(ini.ReadString(kCardSection, "StartTime", ""));
  card.EndTime = Unescape(ini.ReadString(kCardSection, "EndTime", ""));
  card.HotelId = ini.ReadInteger(kCardSection, "HotelId", 0);
  card.CardSlot = ini.ReadInteger(kCardSection, "CardSlot", 0);
  card.Arg3 = ini.ReadInteger(kCardSection, "Arg3", 0);
  card.Arg4 = ini.ReadInteger(kCardSection, "Arg4", 0);
  card.Arg5 = ini.ReadInteger(kCardSection, "Arg5", 0);
  card.RoomCode = Unescape(ini.ReadString(kCardSection, "RoomCode", ""));
  card.RoomByte = ini.ReadInteger(kCardSection, "RoomByte", 0);
  card.Arg10 = ini.ReadInteger(kCardSection, "Arg10", 0);
  card.Arg11 = ini.ReadInteger(kCardSection, "Arg11", 0);

  for (const std::string_view function : kFunctions) {
    const std::int32_t code = ini.ReadInteger(kFailures, function, 0);
    if (code != 0)
      state.Failures[std::string(function)] = code;
  }
  return state;
}

void TStateFile::Save(const TState& state) const {
  plat::TIniFile ini(path_);
  ini.WriteBool(kEncoder, "Connected", state.Connected);
  ini.WriteInteger(kEncoder, "Beeps", state.Beeps);
  ini.WriteInteger(kEncoder, "IC32Handle", state.IC32Handle);
  ini.WriteInteger(kEncoder, "LastIC32Handle", state.LastIC32Handle);

  // Every key is written each time, so nothing of an earlier card stays behind.
  const TCard& card = state.Card;
  ini.WriteString(kCardSection, "Kind", KindName(card.Kind));
  ini.WriteString(kCardSection, "Serial", Hex32(card.Serial));
  ini.WriteBool(kCardSection, "Cancelled", card.Cancelled);
  ini.WriteInteger(kCardSection, "CardNo", card.CardNo);
  ini.WriteString(kCardSection, "HotelCode", Escape(card.HotelCode));
  ini.WriteString(kCardSection, "Room", Escape(card.Room));
  ini.WriteString(kCardSection, "StartTime", Escape(card.StartTime));
  ini.WriteString(kCardSection, "EndTime", Escape(card.EndTime));
  ini.WriteInteger(kCardSection, "HotelId", card.HotelId);
  ini.WriteInteger(kCardSection, "CardSlot", card.CardSlot);
  ini.WriteInteger(kCardSection, "Arg3", card.Arg3);
  ini.WriteInteger(kCardSection, "Arg4", card.Arg4);
  ini.WriteInteger(kCardSection, "Arg5", card.Arg5);
  ini.WriteString(kCardSection, "RoomCode", Escape(card.RoomCode));
  ini.WriteInteger(kCardSection, "RoomByte", card.RoomByte);
  ini.WriteInteger(kCardSection, "Arg10", card.Arg10);
  ini.WriteInteger(kCardSection, "Arg11", card.Arg11);

  for (const std::string_view function : kFunctions) {
    ini.WriteInteger(kFailures, function, state.Failure(function));
  }
  try {
    ini.UpdateFile();
  } catch (const plat::EIniFileException& e) {
    throw ESimError(e.what());
  }
}

std::int64_t CardNumber(const TCard& card) {
  if (card.Kind == TCardKind::IC)
    return card.CardNo;
  return static_cast<std::int32_t>(card.Serial) % kCardNoModulus;
}

std::string CardDataText(const TCard& card, std::size_t capacity) {
  static constexpr char kKindLetter[] = {'-', 'B', 'I', 'G'};
  char head[16];
  std::snprintf(head, sizeof head, "SIMV9%c%08X", kKindLetter[static_cast<int>(card.Kind)],
                card.Serial);
  std::string text = head;
  if (card.Kind == TCardKind::RFV9) {
    text += "|H=" + std::to_string(card.HotelId) + "|S=" + std::to_string(card.CardSlot) +
            "|B=" + card.StartTime + "|E=" + card.EndTime + "|R=" + card.RoomCode;
  }
  text += card.Cancelled ? "|C=1" : "|C=0";
  if (text.size() >= capacity)
    text.resize(capacity - 1);
  return text;
}

std::string StatusText(const TState& state) {
  const TCard& card = state.Card;
  const bool present = card.Kind != TCardKind::None;
  std::string hotel;
  std::string room;
  if (card.Kind == TCardKind::IC) {
    hotel = TextOf(card.HotelCode.data(), card.HotelCode.size());
    if (card.Room.size() >= 2) {
      room = std::to_string(static_cast<unsigned char>(card.Room[0])) + "-" +
             std::to_string(static_cast<unsigned char>(card.Room[1])) + "-" +
             TextOf(card.Room.data() + 2, card.Room.size() - 2);
    }
  } else if (card.Kind == TCardKind::RFV9) {
    hotel = std::to_string(card.HotelId);
    room = card.RoomCode;
  }
  std::string out;
  out += "connected=" + std::string(state.Connected ? "1" : "0") + "\n";
  out += "card=" + std::string(KindName(card.Kind)) + "\n";
  out += "card_no=" + (present ? std::to_string(CardNumber(card)) : std::string()) + "\n";
  out += "hotel=" + hotel + "\n";
  out += "room=" + room + "\n";
  out += "start=" + ReadableTime(card.StartTime) + "\n";
  out += "end=" + ReadableTime(card.EndTime) + "\n";
  out += "cancelled=" + std::string(present && card.Cancelled ? "1" : "0") + "\n";
  out += "beeps=" + std::to_string(state.Beeps) + "\n";
  return out;
}

std::string TextOf(const char* buffer, std::size_t size) {
  return std::string(buffer, ::strnlen(buffer, size));
}

}  // namespace sim
