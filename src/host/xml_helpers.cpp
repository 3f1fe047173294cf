#include "host/xml_helpers.h"

namespace skyfw {
namespace {

const xmlChar* XmlText(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

bool NameIs(const xmlNode* node, const char* name) {
  return node->name != nullptr && xmlStrcmp(node->name, XmlText(name)) == 0;
}

}  // namespace

xmlNode* FindChild(xmlNode* node, const char* name) {
  if (node == nullptr || name == nullptr) return nullptr;
  for (xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (NameIs(child, name)) return child;
  }
  return nullptr;
}

std::string GetChildValue(xmlNode* node, const char* child_name, const char* attribute_name) {
  if (node == nullptr || child_name == nullptr || attribute_name == nullptr) return {};
  for (xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (!NameIs(child, child_name)) continue;
    xmlAttr* attribute = xmlHasProp(child, XmlText(attribute_name));
    // xmlHasProp may also answer with a DTD default declaration, which has no
    // value node of its own.
    if (attribute == nullptr || attribute->type != XML_ATTRIBUTE_NODE) continue;
    const xmlNode* value = attribute->children;
    if (value != nullptr && value->content != nullptr) {
      return reinterpret_cast<const char*>(value->content);
    }
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

}  // namespace skyfw
