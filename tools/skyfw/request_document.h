// The program's edits of a discovery document on its way to the plug-in as a
// request: marking items "skip", cutting it down to one device so each call
// installs on one adapter, and carrying the statuses back.
#pragma once

#include <libxml/tree.h>

#include <functional>
#include <string>

namespace skyfw::tool {

class RequestDocument {
 public:
  RequestDocument() = default;
  ~RequestDocument();
  RequestDocument(const RequestDocument&) = delete;
  RequestDocument& operator=(const RequestDocument&) = delete;

  bool Read(const std::string& path);
  // Written whole: beside the path, then renamed.
  bool Write(const std::string& path) const;

  size_t DeviceCount() const;
  // Sets action "skip" on every item of device index for which skip(file)
  // is true.
  void MarkSkipped(size_t device, const std::function<bool(const std::string& file)>& skip);
  // A copy holding device index alone.
  bool WriteSingleDevice(size_t device, const std::string& path) const;
  // Takes the action_status values of the single-device document at path
  // into device index; false when it cannot be read.
  bool TakeStatuses(size_t device, const std::string& path);
  void SetTakesEffect(const char* value);

 private:
  xmlNode* Device(size_t index) const;
  xmlDoc* document_ = nullptr;
};

}  // namespace skyfw::tool
