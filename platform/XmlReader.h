#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pugi {
class xml_document;
struct xml_node_struct;
}  // namespace pugi

namespace plat {

class EXmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Replaces "&amp;", "&lt;", "&gt;", "&apos;" and "&quot;" by their characters, and a
// character reference ("&#65;", "&#x41;") whose value is below 255 by that one byte;
// any other reference stays as written.
std::string ResolveEntities(std::string_view text);

class TXmlDocument;

// An element of a parsed document; valid while its document lives.
class TXmlElement {
 public:
  // The attribute's value with entities resolved; empty when it is missing.
  std::string Attribute(std::string_view name) const;
  // Child elements only: text, comments and processing instructions do not count.
  std::size_t ChildCount() const;
  // Throws EXmlError when there is no child element at that position.
  TXmlElement Child(std::size_t index) const;
  // The element's own text and CDATA, nothing trimmed and line ends byte for byte,
  // entities resolved in the text.
  std::string Text() const;

 private:
  friend class TXmlDocument;
  explicit TXmlElement(pugi::xml_node_struct* node) : node_(node) {}
  pugi::xml_node_struct* node_;
};

// A document parsed from 8-bit text. The bytes are taken as they are (no encoding
// is guessed from a declaration), so GBK text passes through untouched; entities
// are not expanded by the parser but by ResolveEntities, and no DTD is processed.
class TXmlDocument {
 public:
  TXmlDocument();
  ~TXmlDocument();
  TXmlDocument(const TXmlDocument&) = delete;
  TXmlDocument& operator=(const TXmlDocument&) = delete;

  // Throws EXmlError when the text is not well formed or holds no root element, or
  // anything but white space, comments, processing instructions and a document type
  // declaration beside it.
  void Parse(std::string_view text);
  TXmlElement Root() const;

 private:
  // Leaves the document empty and throws EXmlError.
  [[noreturn]] void Refuse(const char* reason);

  std::unique_ptr<pugi::xml_document> doc_;
};

}  // namespace plat
