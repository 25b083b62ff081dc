// doorlock-client: sends one request to the door lock interface and prints the answer.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/client/ClientConnection.h"
#include "tools/client/ClientOptions.h"
#include "tools/client/ClientRequest.h"
#include "tools/client/ClientResponse.h"

namespace {

enum ExitStatus {
  kSuccess = 0,
  kFailure = 1,
  kNoResponse = 2,
  kConnectionError = 3,
  kUsage = 64,
};

int UsageFailure(const std::string& message) {
  std::cerr << "doorlock-client: " << message << "\n\n" << client::UsageText();
  return kUsage;
}

std::string ReadAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The document for the command; throws UsageError when a FILE cannot be read.
std::string RequestDocument(const client::Options& options) {
  switch (options.Cmd) {
    case client::Command::Issue:
      return client::IssueCardDocument(options.Issue);
    case client::Command::Read:
      return client::EmptyDocument("ReadCard");
    case client::Command::Erase:
      return client::EmptyDocument("EraseCard");
    case client::Command::Send:
      break;
  }
  if (options.File == "-") {
    std::string text = ReadAll(std::cin);
    if (std::cin.bad())
      throw client::UsageError("cannot read standard input");
    return text;
  }
  std::ifstream file(options.File, std::ios::binary);
  std::string text = file ? ReadAll(file) : std::string();
  if (!file || file.bad())
    throw client::UsageError("cannot read '" + options.File + "'");
  return text;
}

std::string Seconds(std::chrono::milliseconds timeout) {
  std::ostringstream out;
  out << static_cast<double>(timeout.count()) / 1000.0;
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  client::Options options;
  std::string request;
  try {
    options = client::ParseArguments(std::vector<std::string>(argv + 1, argv + argc), plat::Now());
    if (options.Help) {
      std::cout << client::UsageText();
      return kSuccess;
    }
    request = client::Frame(RequestDocument(options));
  } catch (const client::UsageError& e) {
    return UsageFailure(e.what());
  }

  const client::ExchangeResult result =
      client::Exchange(options.Host, options.Port, request, options.Timeout);
  switch (result.Status) {
    case client::ExchangeStatus::Failed:
      std::cerr << "doorlock-client: " << result.Error << "\n";
      return kConnectionError;
    case client::ExchangeStatus::TimedOut:
      std::cerr << "doorlock-client: " << result.Error << " (" << Seconds(options.Timeout)
                << " s)\n";
      return kConnectionError;
    case client::ExchangeStatus::Closed:
      std::cerr << "doorlock-client: the server closed the connection without a response\n";
      return kNoResponse;
    case client::ExchangeStatus::Answered:
      break;
  }

  if (options.PrintXml)
    std::cout << result.Response << "\n";
  const std::optional<client::Response> response = client::ParseResponse(result.Response);
  if (!response) {
    std::cerr << "doorlock-client: the answer is not a response document\n";
    return kNoResponse;
  }
  std::cout << client::FormatResponse(*response);
  return response->ResultCode == "200" ? kSuccess : kFailure;
}
