// Accessors for the documents read with libxml2. Node names are compared byte
// for byte, case-sensitively, whatever the node's kind.
#pragma once

#include <libxml/tree.h>

#include <string>

namespace skyfw {

// The first child of node named name, or nullptr.
xmlNode* FindChild(xmlNode* node, const char* name);

// The value of attribute attribute_name on the first child named child_name
// that has it; a child of that name without it does not end the search.
// Empty when none has it.
std::string GetChildValue(xmlNode* node, const char* child_name, const char* attribute_name);

// Sets the "value" attribute of the first child named child_name, appending a
// new element of that name when there is none. False when libxml2 could not
// allocate what was needed (nothing is left half-added).
bool SetChildValue(xmlNode* node, const char* child_name, const char* value);

}  // namespace skyfw
