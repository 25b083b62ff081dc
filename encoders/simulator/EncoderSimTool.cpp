// encoder-sim: looks at and changes the simulated encoder that the simulated
// libraries drive.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "encoders/simulator/SimEncoder.h"
#include "platform/Paths.h"
#include "platform/StrUtils.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr const char* kUsageText =
    "usage: encoder-sim [--dir DIR] VERB [ARGUMENTS]\n"
    "\n"
    "Looks at and changes the simulated card encoder kept in DIR/EncoderSim.ini.\n"
    "DIR defaults to $ENCODER_SIM_DIR, or else to the directory of encoder-sim.\n"
    "\n"
    "verbs:\n"
    "  status                  print the state as key=value lines\n"
    "  insert [--serial N]     put a blank card on the encoder (N: decimal or 0x hex)\n"
    "  remove                  take the card off the encoder\n"
    "  connect                 attach the encoder\n"
    "  disconnect              detach the encoder (an open IC port is lost)\n"
    "  fail FUNCTION CODE      make FUNCTION return CODE until CODE 0 clears it\n"
    "  reset                   a connected encoder, one blank card, no failures\n"
    "\n"
    "FUNCTION: IC32.OpenPort IC32.ClosePort IC32.GuestCard IC32.ReturnCardNo\n"
    "          IC32.CardClear RFL32.OpenPort RFL32.Buzzer RFL32.RoomCard\n"
    "          RFL32.LogoutCard Project2.ReadCardData; the library may be left out,\n"
    "          and OpenPort alone names both OpenPort functions.\n";

int Usage(const std::string& error) {
  std::cerr << "encoder-sim: " << error << "\n\n" << kUsageText;
  return kUsage;
}

// Decimal, or hexadecimal after "0x" or "$", from 0 to 4294967295.
std::optional<std::uint32_t> ParseSerial(const std::string& text) {
  std::uint32_t serial = 0;
  if (!plat::TryStrToUInt32(text, serial))
    return std::nullopt;
  return serial;
}

// The functions a name given to `fail` stands for.
std::vector<std::string> FunctionsNamed(const std::string& name) {
  std::vector<std::string> found;
  for (const std::string_view function : sim::kFunctions) {
    const std::string_view bare = function.substr(function.find('.') + 1);
    if (name == function || name == bare)
      found.emplace_back(function);
  }
  return found;
}

struct TCommand {
  std::string Dir;
  std::vector<std::string> Words;  // the verb and its arguments
};

int Run(const TCommand& command) {
  const std::string& verb = command.Words[0];
  const std::size_t arguments = command.Words.size() - 1;
  std::optional<std::uint32_t> serial;
  std::vector<std::string> functions;
  std::int32_t code = 0;

  if (verb == "status" || verb == "remove" || verb == "connect" || verb == "disconnect" ||
      verb == "reset") {
    if (arguments != 0)
      return Usage(verb + " takes no arguments");
  } else if (verb == "insert") {
    if (arguments == 2 && command.Words[1] == "--serial") {
      serial = ParseSerial(command.Words[2]);
      if (!serial)
        return Usage("not a serial number: " + command.Words[2]);
    } else if (arguments != 0) {
      return Usage("insert takes only --serial N");
    }
  } else if (verb == "fail") {
    if (arguments != 2)
      return Usage("fail takes FUNCTION and CODE");
    functions = FunctionsNamed(command.Words[1]);
    if (functions.empty())
      return Usage("no such function: " + command.Words[1]);
    if (!plat::TryStrToInt(command.Words[2], code)) {
      return Usage("not a 32-bit code: " + command.Words[2]);
    }
    for (const std::string& function : functions) {
      if (sim::Is16Bit(function) && (code < INT16_MIN || code > INT16_MAX)) {
        return Usage(function + " returns 16 bits: " + command.Words[2] + " does not fit");
      }
    }
  } else {
    return Usage("unknown verb: " + verb);
  }

  const sim::TStateFile file(command.Dir);
  sim::TState state = file.Load();
  if (verb == "status") {
    std::cout << sim::StatusText(state) << std::flush;
    return 0;
  }
  if (verb == "insert") {
    state.PutBlankCard(serial.value_or(sim::kDefaultSerial));
  } else if (verb == "remove") {
    state.Card = sim::TCard();
    state.Card.Kind = sim::TCardKind::None;
  } else if (verb == "connect") {
    state.Connected = true;
  } else if (verb == "disconnect") {
    state.Connected = false;
    state.IC32Handle = 0;
  } else if (verb == "fail") {
    for (const std::string& function : functions)
      state.Failures[function] = code;
  } else if (verb == "reset") {
    state = sim::TState();
  }
  file.Save(state);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  TCommand command;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      std::cout << kUsageText;
      return 0;
    }
    if (word == "--dir") {
      if (i + 1 >= argc)
        return Usage("--dir needs a directory");
      command.Dir = argv[++i];
    } else {
      command.Words.push_back(word);
    }
  }
  if (command.Words.empty())
    return Usage("no verb given");
  try {
    command.Dir = command.Dir.empty() ? sim::DefaultDir() : sim::WithSlash(command.Dir);
    return Run(command);
  } catch (const std::exception& e) {
    std::cerr << "encoder-sim: " << e.what() << "\n";
    return kFailed;
  }
}
