#pragma once

#include <string>
#include <string_view>

// One request as the listening server would serve it: framed, decoded and handed to a
// request handler, with the base driver (which never succeeds), the record store on a
// scratch Client.mdb and both of its switches on. The program-wide objects are set up
// once per process in a directory of their own, removed at exit.
namespace fuzzing {

struct TRequestOutcome {
  // False when framing refused the bytes (too long before the terminator).
  bool Handled = false;
  // The bytes written to the connection; empty when there was no response.
  std::string Response;
  // What left HandleMessage, empty when nothing did.
  std::string Error;
  // The first rule every request must keep that this one broke; empty when all held.
  std::string Violation;
};

// The bytes up to the first 0x00 byte are the request; without one, all of them are,
// as if the terminator followed.
TRequestOutcome RunRequest(std::string_view bytes);

// RunRequest for the fuzzer: a broken rule is printed and ends the process.
void RunRequestOrAbort(std::string_view bytes);

}  // namespace fuzzing
