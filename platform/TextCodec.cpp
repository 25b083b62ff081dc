#include "platform/TextCodec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace plat {
namespace {

// One conversion direction; iconv_open is costly, so each thread keeps its own.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `input`; an unconvertible character becomes one "?", and
  // `unitSize(at, left)` says how many bytes that character takes.
  template <typename UnitSize>
  std::string Convert(const char* input, std::size_t size, UnitSize unitSize) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.resize(size * 2 + 16);
    char* in = const_cast<char*>(input);
    std::size_t inLeft = size;
    std::size_t used = 0;
    while (inLeft > 0) {
      char* outPtr = out.data() + used;
      std::size_t outLeft = out.size() - used;
      const std::size_t rc = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
      used = out.size() - outLeft;
      if (rc != static_cast<std::size_t>(-1))
        break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
      } else {  // EILSEQ or EINVAL: replace one unit and go on
        if (out.size() - used < 1)
          out.resize(out.size() * 2);
        out[used++] = '?';
        const std::size_t unit = unitSize(reinterpret_cast<const unsigned char*>(in), inLeft);
        const std::size_t skip = unit == 0 || unit > inLeft ? inLeft : unit;
        in += skip;
        inLeft -= skip;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    out.resize(used);
    return out;
  }

 private:
  iconv_t cd_;
};

std::size_t Utf16Unit(const unsigned char* at, std::size_t left) {
  const bool highSurrogate = left >= 4 && (at[1] & 0xFC) == 0xD8 && (at[3] & 0xFC) == 0xDC;
  return highSurrogate ? 4 : 2;
}

std::size_t Utf8Unit(const unsigned char* at, std::size_t left) {
  std::size_t unit = 1;
  if (at[0] >= 0xF0) {
    unit = 4;
  } else if (at[0] >= 0xE0) {
    unit = 3;
  } else if (at[0] >= 0xC0) {
    unit = 2;
  }
  // A broken sequence gives up at its first byte that is not a continuation byte.
  for (std::size_t i = 1; i < unit; ++i) {
    if (i >= left || (at[i] & 0xC0) != 0x80)
      return i;
  }
  return unit;
}

std::size_t SingleByteUnit(const unsigned char*, std::size_t) {
  return 1;
}

}  // namespace

std::u16string DecodeRequestUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  auto continuation = [&](std::uint32_t& acc) {
    if (i >= n)
      return false;
    const auto c = static_cast<unsigned char>(bytes[i++]);
    if ((c & 0xC0) != 0x80)
      return false;
    acc = (acc << 6) | (c & 0x3F);
    return true;
  };
  while (i < n) {
    const auto lead = static_cast<unsigned char>(bytes[i++]);
    if (lead < 0x80) {
      out.push_back(lead);
      continue;
    }
    std::uint32_t acc = lead & 0x3F;
    if ((lead & 0x20) != 0 && !continuation(acc))
      return {};
    if (!continuation(acc))
      return {};
    out.push_back(static_cast<char16_t>(acc & 0xFFFF));
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1Fu, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0Fu, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07u, minimum = 0x10000;
    } else {
      return false;
    }
    if (i + length > bytes.size())
      return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80)
        return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

std::string Utf16ToGbk(std::u16string_view text) {
  thread_local Converter converter("CP936", "UTF-16LE");
  std::string le;
  le.reserve(text.size() * 2);
  for (const char16_t c : text) {
    le.push_back(static_cast<char>(c & 0xFF));
    le.push_back(static_cast<char>(c >> 8));
  }
  return converter.Convert(le.data(), le.size(), Utf16Unit);
}

std::string GbkToUtf8(std::string_view gbk) {
  thread_local Converter converter("UTF-8", "CP936");
  return converter.Convert(gbk.data(), gbk.size(), SingleByteUnit);
}

std::string Utf8ToGbk(std::string_view utf8) {
  thread_local Converter converter("CP936", "UTF-8");
  return converter.Convert(utf8.data(), utf8.size(), Utf8Unit);
}

}  // namespace plat
