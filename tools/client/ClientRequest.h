#pragma once

#include <string>
#include <string_view>

#include "tools/client/ClientOptions.h"

namespace client {

// Escapes the characters that would end or break an element's text.
std::string XmlEscape(std::string_view text);

// An "IssueCard" document with its eleven fields in their fixed positions.
std::string IssueCardDocument(const IssueFields& issue);

// A document that carries only its type ("ReadCard", "EraseCard").
std::string EmptyDocument(std::string_view type);

// The bytes on the wire: the document as it stands, then one 0x00 byte.
std::string Frame(std::string_view document);

}  // namespace client
