#include "request_document.h"

#include <libxml/parser.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <string_view>
#include <vector>

#include "os/file_reader.h"
#include "os/file_writer.h"

namespace skyfw::tool {
namespace {

const xmlChar* Text(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

bool NameIs(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, Text(name)) == 0;
}

xmlNode* Child(xmlNode* node, const char* name) {
  for (xmlNode* child = node == nullptr ? nullptr : node->children; child != nullptr;
       child = child->next) {
    if (NameIs(child, name)) return child;
  }
  return nullptr;
}

std::string Value(xmlNode* node) {
  xmlChar* value = node == nullptr ? nullptr : xmlGetProp(node, Text("value"));
  if (value == nullptr) return {};
  std::string text(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return text;
}

void SetValue(xmlNode* parent, const char* name, const std::string& value) {
  xmlNode* child = Child(parent, name);
  if (child == nullptr) child = xmlNewChild(parent, nullptr, Text(name), nullptr);
  if (child != nullptr) xmlSetProp(child, Text("value"), Text(value.c_str()));
}

std::vector<xmlNode*> Elements(xmlNode* parent, const char* name = nullptr) {
  std::vector<xmlNode*> nodes;
  for (xmlNode* child = parent == nullptr ? nullptr : parent->children; child != nullptr;
       child = child->next) {
    if (child->type == XML_ELEMENT_NODE && (name == nullptr || NameIs(child, name))) {
      nodes.push_back(child);
    }
  }
  return nodes;
}

xmlDoc* ReadXml(const std::string& path) {
  // Read through the regular-file check first: libxml2 would open a FIFO and
  // wait on it.
  std::string bytes;
  if (platform::ReadRegularFile(path, bytes) != 0 ||
      bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    return nullptr;
  }
  return xmlReadMemory(
      bytes.data(), static_cast<int>(bytes.size()), path.c_str(), nullptr,
      XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOBLANKS | XML_PARSE_NONET);
}

bool SaveWhole(xmlDoc* document, const std::string& path) {
  xmlChar* bytes = nullptr;
  int size = 0;
  xmlDocDumpFormatMemory(document, &bytes, &size, 1);
  if (bytes == nullptr) return false;
  const int error = size < 0 ? EIO
                             : platform::WriteWholeFile(
                                   path, std::string_view(reinterpret_cast<const char*>(bytes),
                                                          static_cast<size_t>(size)));
  xmlFree(bytes);
  return error == 0;
}

}  // namespace

RequestDocument::~RequestDocument() {
  if (document_ != nullptr) xmlFreeDoc(document_);
}

bool RequestDocument::Read(const std::string& path) {
  if (document_ != nullptr) xmlFreeDoc(document_);
  document_ = ReadXml(path);
  xmlNode* root = document_ == nullptr ? nullptr : xmlDocGetRootElement(document_);
  return root != nullptr && Child(root, "devices") != nullptr;
}

bool RequestDocument::Write(const std::string& path) const {
  return document_ != nullptr && SaveWhole(document_, path);
}

xmlNode* RequestDocument::Device(size_t index) const {
  std::vector<xmlNode*> devices = Elements(Child(xmlDocGetRootElement(document_), "devices"));
  return index < devices.size() ? devices[index] : nullptr;
}

size_t RequestDocument::DeviceCount() const {
  return Elements(Child(xmlDocGetRootElement(document_), "devices")).size();
}

void RequestDocument::MarkSkipped(size_t device,
                                  const std::function<bool(const std::string&)>& skip) {
  for (xmlNode* item : Elements(Device(device), "fw_item")) {
    if (skip(Value(Child(item, "firmware_file")))) SetValue(item, "action", "skip");
  }
}

bool RequestDocument::WriteSingleDevice(size_t device, const std::string& path) const {
  xmlDoc* copy = xmlCopyDoc(document_, 1);
  if (copy == nullptr) return false;
  std::vector<xmlNode*> devices = Elements(Child(xmlDocGetRootElement(copy), "devices"));
  for (size_t i = 0; i < devices.size(); ++i) {
    if (i == device) continue;
    xmlUnlinkNode(devices[i]);
    xmlFreeNode(devices[i]);
  }
  bool saved = SaveWhole(copy, path);
  xmlFreeDoc(copy);
  return saved;
}

bool RequestDocument::TakeStatuses(size_t device, const std::string& path) {
  xmlDoc* answered = ReadXml(path);
  if (answered == nullptr) return false;
  std::vector<xmlNode*> devices = Elements(Child(xmlDocGetRootElement(answered), "devices"));
  bool taken = false;
  if (devices.size() == 1) {
    std::vector<xmlNode*> from = Elements(devices[0], "fw_item");
    std::vector<xmlNode*> to = Elements(Device(device), "fw_item");
    for (size_t i = 0; i < from.size() && i < to.size(); ++i) {
      SetValue(to[i], "action_status", Value(Child(from[i], "action_status")));
    }
    taken = true;
  }
  xmlFreeDoc(answered);
  return taken;
}

void RequestDocument::SetTakesEffect(const char* value) {
  SetValue(xmlDocGetRootElement(document_), "takes_effect", value);
}

}  // namespace skyfw::tool
