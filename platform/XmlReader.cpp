#include "platform/XmlReader.h"

#include <pugixml.hpp>

#include "platform/StrUtils.h"

namespace plat {
namespace {

pugi::xml_node Node(pugi::xml_node_struct* p) {
  return pugi::xml_node(p);
}

// The value of a character reference body ("65", "x41"), or -1 when it is not one.
long CharReference(std::string_view body) {
  const bool hex = !body.empty() && body.front() == 'x';
  if (hex)
    body.remove_prefix(1);
  if (body.empty() || body.size() > 8)
    return -1;
  long value = 0;
  for (const char c : body) {
    const int digit = hex ? HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0)
      return -1;
    value = value * (hex ? 16 : 10) + digit;
  }
  return value;
}

bool LayoutOnly(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace

std::string ResolveEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '&') {
      out.push_back(text[i++]);
      continue;
    }
    const std::size_t semicolon = text.find(';', i + 1);
    if (semicolon == std::string_view::npos) {
      out.push_back(text[i++]);
      continue;
    }
    const std::string_view name = text.substr(i + 1, semicolon - i - 1);
    char replacement = 0;
    bool known = true;
    if (name == "amp") {
      replacement = '&';
    } else if (name == "lt") {
      replacement = '<';
    } else if (name == "gt") {
      replacement = '>';
    } else if (name == "apos") {
      replacement = '\'';
    } else if (name == "quot") {
      replacement = '"';
    } else if (!name.empty() && name.front() == '#') {
      const long value = CharReference(name.substr(1));
      known = value >= 0 && value < 255;
      replacement = static_cast<char>(value);
    } else {
      known = false;
    }
    if (known) {
      out.push_back(replacement);
      i = semicolon + 1;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

std::string TXmlElement::Attribute(std::string_view name) const {
  const pugi::xml_attribute attr = Node(node_).attribute(std::string(name).c_str());
  return attr ? ResolveEntities(attr.value()) : std::string();
}

std::size_t TXmlElement::ChildCount() const {
  std::size_t count = 0;
  for (pugi::xml_node child : Node(node_).children()) {
    if (child.type() == pugi::node_element)
      ++count;
  }
  return count;
}

TXmlElement TXmlElement::Child(std::size_t index) const {
  std::size_t position = 0;
  for (pugi::xml_node child : Node(node_).children()) {
    if (child.type() != pugi::node_element)
      continue;
    if (position++ == index)
      return TXmlElement(child.internal_object());
  }
  throw EXmlError("No child element at position " + std::to_string(index));
}

std::string TXmlElement::Text() const {
  std::string text;
  for (pugi::xml_node child : Node(node_).children()) {
    if (child.type() == pugi::node_pcdata) {
      text += ResolveEntities(child.value());
    } else if (child.type() == pugi::node_cdata) {
      text += child.value();
    }
  }
  return text;
}

TXmlDocument::TXmlDocument() : doc_(std::make_unique<pugi::xml_document>()) {}
TXmlDocument::~TXmlDocument() = default;

void TXmlDocument::Parse(std::string_view text) {
  // The parser would end the document at a NUL character and take what came before
  // it for the whole text.
  if (text.find('\0') != std::string_view::npos)
    Refuse("NUL character in the text");
  // Layout white space between elements is dropped; a field of blanks only is kept,
  // and a field keeps its line ends as sent (no CR LF or CR turned into LF).
  // As a fragment, so that text beside the root is kept and can be refused below.
  const unsigned options = (pugi::parse_default & ~pugi::parse_escapes & ~pugi::parse_eol) |
                           pugi::parse_ws_pcdata_single | pugi::parse_fragment;
  const pugi::xml_parse_result result =
      doc_->load_buffer(text.data(), text.size(), options, pugi::encoding_utf8);
  if (!result)
    Refuse(result.description());
  // pugixml on its own takes further elements beside the root and drops text there
  // without a word, so a request with anything glued to it would pass as whole.
  std::size_t elements = 0;
  for (pugi::xml_node node : doc_->children()) {
    if (node.type() == pugi::node_element) {
      ++elements;
    } else if (node.type() == pugi::node_cdata ||
               (node.type() == pugi::node_pcdata && !LayoutOnly(node.value()))) {
      Refuse("Text outside the root element");
    }
  }
  if (elements == 0)
    Refuse("No root element");
  if (elements > 1)
    Refuse("More than one root element");
}

void TXmlDocument::Refuse(const char* reason) {
  doc_->reset();
  throw EXmlError(reason);
}

TXmlElement TXmlDocument::Root() const {
  const pugi::xml_node root = doc_->document_element();
  if (!root)
    throw EXmlError("No root element");
  return TXmlElement(root.internal_object());
}

}  // namespace plat
