// A private folder for the files a command needs only while it runs (the
// discovery a dry run reads, single-device requests, the trace it reads the
// cause of a failure from). Removed with everything in it on every path.
#pragma once

#include <string>

namespace skyfw::tool {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // A file name inside the folder.
  std::string File(const std::string& name) const;
  // An empty folder inside it: a firmware folder with no package, for a
  // discovery that only reads what the adapters carry.
  std::string EmptyFolder() const;

 private:
  std::string path_;
};

}  // namespace skyfw::tool
