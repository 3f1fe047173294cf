// Accessors for the documents read with libxml2. Node names are compared byte
// for byte, case-sensitively, whatever the node's kind.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <string>
#include <string_view>

namespace skyfw {

// The first child of node named name, or nullptr.
xmlNode* FindChild(xmlNode* node, const char* name);

// The value of attribute attribute_name on the first child named child_name
// that has it; a child of that name without it does not end the search.
// Empty when none has it. A value that refers to a declared entity is not
// expanded: it counts as no value.
std::string GetChildValue(xmlNode* node, const char* child_name, const char* attribute_name);

// Sets the "value" attribute of the first child named child_name, appending a
// new element of that name when there is none. False when libxml2 could not
// allocate what was needed (nothing is left half-added).
bool SetChildValue(xmlNode* node, const char* child_name, const char* value);

// The options every document of the library is read with: no error or
// warning output, no blank nodes, CDATA as text, and never the network (an
// external entity or DTD named in a document is not fetched).
inline constexpr int kXmlReadOptions = XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                                       XML_PARSE_NOBLANKS | XML_PARSE_NOCDATA | XML_PARSE_NONET;

// A document read from a file with kXmlReadOptions; freed with the object.
class XmlDocument {
 public:
  explicit XmlDocument(const std::string& path);
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // False when the file could not be read or is not well-formed.
  explicit operator bool() const { return document_ != nullptr; }
  xmlDoc* get() const { return document_; }
  // The root element, or nullptr.
  xmlNode* root() const;

 private:
  xmlDoc* document_ = nullptr;
};

// The node's name as text ("" for a node without one).
const char* XmlName(const xmlNode* node);
bool XmlNameIs(const xmlNode* node, const char* name);

// The content of the attribute's value node; empty when the attribute is
// missing, has no value, or its value refers to a declared entity.
std::string AttributeValue(xmlNode* node, const char* attribute_name);

// The document as text, indented by libxml2 as its file writer would, in
// UTF-8 (declared so when the document declared an encoding); false when
// libxml2 could not produce it.
bool FormatXmlDocument(xmlDoc* document, std::string& text);

// True when `text` is well-formed UTF-8 without control characters (C0, DEL,
// C1) and without the non-characters U+FFFE and U+FFFF: text a document
// written by the library carries so that it reads back as it was written.
bool IsDocumentText(std::string_view text);

}  // namespace skyfw
