#pragma once

#include <cstdint>
#include <mutex>
#include <string>

// The values TOption keeps; a copy of them is what a reader works from.
struct TOptionValues {
  std::string DoorlockType = "IC";
  std::string PortName = "COM1";
  std::string HotelId = "KPVZ4729";
  std::int64_t CurrentCardNo = 1;

  // The encoder library's port number for PortName: "COM1".."COM6" give 0..5, "USB"
  // gives -1, and any other text gives -2, a number no port answers to.
  int PortIndex() const;
};

// Lock-encoder settings and the running card number, kept in Option.ini. Connection
// threads step the counter while the lock options dialog may change the texts: a
// reader takes Values(), a writer goes through NextCardNo or Change. The fields are
// open for start-up and tests, before any other thread runs.
class TOption : public TOptionValues {
 public:
  explicit TOption(std::string fileName);

  void Load();
  // Writes the four keys; throws plat::EIniFileException when the file cannot be written.
  void Save();

  // One consistent copy, never half of another thread's change.
  TOptionValues Values() const;
  // The card counter step: CurrentCardNo + 1, truncating remainder by the card number
  // range, saved at once. A failing save raises with the new value kept in memory.
  std::int64_t NextCardNo();
  // Runs `assign` on the values and saves them, as one step. Raises as Save does, the
  // assigned values kept in memory. `assign` must take no lock.
  template <typename Assign>
  void Change(Assign&& assign);

  std::string FileName;

 private:
  void SaveLocked();
};

// Option.ini is shared by TOption and TSysOption: each takes this lock itself around
// every read and write of the file and every change of its fields. Not recursive;
// nothing that holds it calls back out. Its place in the lock order is written at
// DoorlockMutex().
std::mutex& OptionFileMutex();

template <typename Assign>
void TOption::Change(Assign&& assign) {
  std::lock_guard lock(OptionFileMutex());
  assign(static_cast<TOptionValues&>(*this));
  SaveLocked();
}

extern TOption* Option;
