#include "XmlTree.h"

#include <expat.h>

#include <algorithm>
#include <memory>

#include "Text.h"

namespace {

// Deeper nesting than any source document has is an attack or a fault.
constexpr std::size_t kMaxDepth = 256;

struct TreeBuilder {
  XmlElement root;
  std::vector<XmlElement*> open;
  bool tooDeep = false;
  XML_Parser parser = nullptr;
};

void StartElement(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto& builder = *static_cast<TreeBuilder*>(data);
  if (builder.open.size() >= kMaxDepth) {
    builder.tooDeep = true;
    XML_StopParser(builder.parser, XML_FALSE);
    return;
  }
  XmlElement* element = &builder.root;
  if (!builder.open.empty()) element = &builder.open.back()->children.emplace_back();
  element->name = LocalName(name);
  for (const XML_Char** attribute = attributes; attribute[0]; attribute += 2)
    element->attributes.emplace_back(attribute[0], attribute[1]);
  builder.open.push_back(element);
}

void EndElement(void* data, const XML_Char*) { static_cast<TreeBuilder*>(data)->open.pop_back(); }

void CharacterData(void* data, const XML_Char* text, int length) {
  auto& builder = *static_cast<TreeBuilder*>(data);
  if (!builder.open.empty()) builder.open.back()->text.append(text, static_cast<std::size_t>(length));
}

}  // namespace

std::string_view LocalName(std::string_view name) {
  const std::size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const XmlElement* XmlElement::Child(std::string_view localName) const {
  for (const XmlElement& child : children)
    if (child.name == localName) return &child;
  return nullptr;
}

std::vector<const XmlElement*> XmlElement::Children(std::string_view localName) const {
  std::vector<const XmlElement*> found;
  for (const XmlElement& child : children)
    if (child.name == localName) found.push_back(&child);
  return found;
}

std::string XmlElement::ChildText(std::string_view localName) const {
  const XmlElement* child = Child(localName);
  return child ? std::string(Trim(child->text, kWhiteSpace)) : std::string();
}

const std::string* XmlElement::Attribute(std::string_view wanted) const {
  for (const auto& [name, value] : attributes)
    if (name == wanted) return &value;
  for (const auto& [name, value] : attributes)
    if (LocalName(name) == wanted) return &value;
  return nullptr;
}

XmlElement ParseXml(std::string_view text) {
  const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                            &XML_ParserFree);
  if (!parser) throw XmlSyntaxError("The XML reader could not be created.");
  TreeBuilder builder;
  builder.parser = parser.get();
  XML_SetUserData(parser.get(), &builder);
  XML_SetElementHandler(parser.get(), StartElement, EndElement);
  XML_SetCharacterDataHandler(parser.get(), CharacterData);
  // Fed in pieces: XML_Parse takes an int length.
  constexpr std::size_t kPiece = 1 << 20;
  std::size_t offset = 0;
  XML_Status status = XML_STATUS_OK;
  do {
    const std::size_t size = std::min(kPiece, text.size() - offset);
    const bool last = offset + size == text.size();
    status = XML_Parse(parser.get(), text.data() + offset, static_cast<int>(size), last ? XML_TRUE : XML_FALSE);
    offset += size;
  } while (status == XML_STATUS_OK && offset < text.size());
  if (builder.tooDeep) throw XmlSyntaxError("The XML document is nested too deeply.");
  if (status != XML_STATUS_OK)
    throw XmlSyntaxError(std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
                         std::to_string(XML_GetCurrentLineNumber(parser.get())));
  return std::move(builder.root);
}
