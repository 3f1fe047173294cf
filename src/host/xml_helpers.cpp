#include "host/xml_helpers.h"

#include <limits>

#include "os/file_reader.h"
#include "base/unicode.h"

namespace skyfw {
namespace {

const xmlChar* XmlText(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// The value of an attribute when it is plain text. Character references and
// the predefined entities arrive as text already; a value that refers to a
// declared entity is not expanded and counts as no value, so a document can
// never name a device or a file other than as it reads.
const char* LiteralValue(const xmlAttr* attribute) {
  const xmlNode* value = attribute->children;
  if (value == nullptr || value->type != XML_TEXT_NODE || value->next != nullptr ||
      value->content == nullptr) {
    return nullptr;
  }
  return reinterpret_cast<const char*>(value->content);
}

}  // namespace

XmlDocument::XmlDocument(const std::string& path) {
  // Read through the regular-file check first: libxml2 would open a FIFO and
  // wait on it.
  std::string bytes;
  if (platform::ReadRegularFile(path, bytes) != 0 ||
      bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    return;
  }
  document_ = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), path.c_str(), nullptr,
                            kXmlReadOptions);
}

XmlDocument::~XmlDocument() {
  if (document_ != nullptr) xmlFreeDoc(document_);
}

xmlNode* XmlDocument::root() const {
  return document_ == nullptr ? nullptr : xmlDocGetRootElement(document_);
}

const char* XmlName(const xmlNode* node) {
  return node != nullptr && node->name != nullptr ? reinterpret_cast<const char*>(node->name) : "";
}

bool XmlNameIs(const xmlNode* node, const char* name) {
  return node != nullptr && node->name != nullptr && xmlStrcmp(node->name, XmlText(name)) == 0;
}

std::string AttributeValue(xmlNode* node, const char* attribute_name) {
  xmlAttr* attribute = xmlHasProp(node, XmlText(attribute_name));
  // xmlHasProp may also answer with a DTD default declaration, which has no
  // value node of its own.
  if (attribute == nullptr || attribute->type != XML_ATTRIBUTE_NODE) return {};
  const char* value = LiteralValue(attribute);
  return value != nullptr ? value : std::string();
}

bool FormatXmlDocument(xmlDoc* document, std::string& text) {
  xmlChar* bytes = nullptr;
  int size = 0;
  // Written back in UTF-8 whatever the document declared: in an encoding
  // such as UTF-7 even the markup itself would be encoded, and no reader
  // could take the document back. A document without a declared encoding
  // keeps a declaration without one.
  const char* encoding = document->encoding != nullptr ? "UTF-8" : nullptr;
  xmlDocDumpFormatMemoryEnc(document, &bytes, &size, encoding, 1);
  if (bytes == nullptr || size < 0) {
    if (bytes != nullptr) xmlFree(bytes);
    return false;
  }
  text.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  xmlFree(bytes);
  return true;
}

xmlNode* FindChild(xmlNode* node, const char* name) {
  if (node == nullptr || name == nullptr) return nullptr;
  for (xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (XmlNameIs(child, name)) return child;
  }
  return nullptr;
}

std::string GetChildValue(xmlNode* node, const char* child_name, const char* attribute_name) {
  if (node == nullptr || child_name == nullptr || attribute_name == nullptr) return {};
  for (xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (!XmlNameIs(child, child_name)) continue;
    xmlAttr* attribute = xmlHasProp(child, XmlText(attribute_name));
    // xmlHasProp may also answer with a DTD default declaration, which has no
    // value node of its own.
    if (attribute == nullptr || attribute->type != XML_ATTRIBUTE_NODE) continue;
    if (const char* value = LiteralValue(attribute)) return value;
  }
  return {};
}

bool SetChildValue(xmlNode* node, const char* child_name, const char* value) {
  if (node == nullptr || child_name == nullptr || value == nullptr) return false;
  xmlNode* child = FindChild(node, child_name);
  if (child != nullptr) return xmlSetProp(child, XmlText("value"), XmlText(value)) != nullptr;

  child = xmlNewNode(nullptr, XmlText(child_name));
  if (child == nullptr) return false;
  if (xmlSetProp(child, XmlText("value"), XmlText(value)) == nullptr ||
      xmlAddChild(node, child) == nullptr) {
    xmlFreeNode(child);
    return false;
  }
  return true;
}

bool IsDocumentText(std::string_view text) {
  std::u16string wide;
  std::u32string code_points;
  if (!Utf8ToUtf16(text, wide) || !Utf16ToUtf32(wide, code_points)) return false;
  for (char32_t c : code_points) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFE || c == 0xFFFF) return false;
  }
  return true;
}

}  // namespace skyfw
