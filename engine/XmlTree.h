#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A whole small XML document as a tree, for source documents. Read without
// namespace processing: files in the wild use prefixes they never bind
// ("http-header:referer"), and the documents we read never need the
// namespace to tell two names apart. Elements go by their local name.

struct XmlElement {
  std::string name;  // the local name, any prefix dropped
  std::vector<std::pair<std::string, std::string>> attributes;  // names as written, prefix kept
  std::string text;  // the character data directly inside, untrimmed
  std::vector<XmlElement> children;

  // The first child of that local name, or nullptr.
  const XmlElement* Child(std::string_view localName) const;
  std::vector<const XmlElement*> Children(std::string_view localName) const;
  // The first such child's text, trimmed; empty when there is none.
  std::string ChildText(std::string_view localName) const;
  // An attribute by its name as written, else by its local name; nullptr when absent.
  const std::string* Attribute(std::string_view name) const;
};

// "... at line 3": the parser's own reason and where.
class XmlSyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The root element; throws XmlSyntaxError for a document that is not well formed.
XmlElement ParseXml(std::string_view text);

// The part of a name after its prefix: "ows:Title" gives "Title".
std::string_view LocalName(std::string_view name);
