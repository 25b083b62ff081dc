#pragma once

#include <string>

#include "platform/TextCodec.h"

// The log texts both drivers write, as GBK.
struct TDriverTexts {
  std::string PortOpened = plat::Utf8ToGbk("串口打开成功: ");
  std::string PortNotOpened = plat::Utf8ToGbk("串口打开失败: ");
  std::string IssueFailed = plat::Utf8ToGbk("发卡失败");
  std::string Issued = plat::Utf8ToGbk("发卡成功,卡号为:");
  std::string ReadFailed = plat::Utf8ToGbk("读卡失败");
  std::string Read = plat::Utf8ToGbk("读卡成功,卡号为:");
  std::string EraseFailed = plat::Utf8ToGbk("注销卡失败");
  std::string Erased = plat::Utf8ToGbk("注销卡成功");
};

inline const TDriverTexts& DriverTexts() {
  static const TDriverTexts texts;
  return texts;
}
