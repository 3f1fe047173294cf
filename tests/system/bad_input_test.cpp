// Bad input at every entry point, end to end through dlopen as a host calls
// the plug-in: missing, empty, overlong and malformed paths, a directory
// where a file belongs and the reverse, unreadable files, hostile request
// documents, broken packages, a missing count and PCI numbers that name no
// device. Every row gets its result code and loses nothing: the files the
// call was given stay as they were, nothing is left beside them, and the
// adapter's NVRAM is untouched.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "base/unicode.h"
#include "os/environment.h"
#include "os/file_names.h"
#include "skyfw/oem.h"
#include "support/plugin_api.h"
#include "support/s2_machine.h"
#include "support/sim_adapter.h"

namespace skyfw::testing {
namespace {

namespace fs = std::filesystem;

// The plug-in, loaded once for the program against one S2 machine.
struct Plugin {
  PluginApi api;
  std::string machine;

  static const Plugin& Get() {
    static const Plugin* plugin = new Plugin();
    return *plugin;
  }

 private:
  Plugin() {
    static TempDir directory;
    machine = WriteS2Machine(directory);
    platform::SetEnvironmentText("SKYFW_MACHINE", machine);
    // Loaded for the whole program: the plug-in stays until the process ends.
    static platform::SharedLibrary library;
    LoadPluginApi(SKYFW_PLUGIN_PATH, library, api);
  }
};

std::u16string U16(const std::string& utf8) { return Utf8ToUtf16(utf8); }

enum class Entry { kDiscover, kFlash, kFullFlash, kDump, kAdapterInfo };

const char* EntryName(Entry entry) {
  switch (entry) {
    case Entry::kDiscover:
      return "oem_do_discovery_with_files";
    case Entry::kFlash:
      return "oem_do_flash_with_file";
    case Entry::kFullFlash:
      return "oem_do_full_flash_PCI";
    case Entry::kDump:
      return "oem_get_full_flash_dump_PCI";
    case Entry::kAdapterInfo:
      break;
  }
  return "oem_get_adapter_info";
}

// The arguments of one call. A path left empty (nullopt) is a null pointer.
struct Call {
  Entry entry = Entry::kDiscover;
  std::optional<std::u16string> first;                     // document, package or backup path
  std::optional<std::u16string> second;                    // firmware path
  int32_t segment = 0, bus = 3, device = 0, function = 0;  // the S2 at 03:00.0
  bool with_count = true;
};

Call Paths(Entry entry, std::optional<std::u16string> first, std::optional<std::u16string> second) {
  Call call;
  call.entry = entry;
  call.first = std::move(first);
  call.second = std::move(second);
  return call;
}

Call Pci(Entry entry, std::optional<std::u16string> path, int32_t segment = 0, int32_t bus = 3,
         int32_t device = 0, int32_t function = 0) {
  Call call;
  call.entry = entry;
  call.first = std::move(path);
  call.segment = segment;
  call.bus = bus;
  call.device = device;
  call.function = function;
  return call;
}

Call Info(std::optional<std::u16string> firmware, bool with_count = true) {
  Call call;
  call.entry = Entry::kAdapterInfo;
  call.second = std::move(firmware);
  call.with_count = with_count;
  return call;
}

// Every file and directory below a folder, with the bytes of the files.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> entries;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(
           folder, fs::directory_options::skip_permission_denied, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    const std::string path = it->path().string();
    entries[path] = it->is_regular_file(error) ? "file:" + ReadFile(path) : "directory";
  }
  return entries;
}

Bytes S2PackageBytes() {
  Bytes package;
  EXPECT_EQ(tool::BuildPackage(S2Package("22.1.0"), package), 0);
  return package;
}

constexpr const char* kPackageName = "s2-22.1.0.pkg";

// A request for the package on the S2; `device_id` and the text between the
// XML declaration and the root element may be replaced.
std::string RequestText(const std::string& device_id = kS2Location,
                        const std::string& prolog = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + prolog +
         "<qv_rom_discovery version=\"2.0.0.0\"><takes_effect value=\"deferred\"/><devices>"
         "<device><device_id value=\"" +
         device_id + "\"/><fw_item><firmware_file value=\"" + kPackageName +
         "\"/><action value=\"upgrade\"/><action_status value=\"\"/></fw_item></device>"
         "</devices></qv_rom_discovery>\n";
}

// A folder of inputs for one row: the firmware folder with one package for
// the S2, and a request document that asks for it.
class Workspace {
 public:
  Workspace() {
    fs::create_directory(Firmware());
    Bytes package = S2PackageBytes();
    WriteFile(Package(), std::string(package.begin(), package.end()));
    WriteFile(Request(), RequestText());
  }
  std::string Path(const std::string& name) const { return dir_.File(name); }
  std::string Firmware() const { return dir_.File("firmware"); }
  std::string Package() const { return Firmware() + "/" + kPackageName; }
  std::string Request() const { return dir_.File("request.xml"); }
  const std::string& root() const { return dir_.path(); }

  // A path under the workspace exactly `bytes` long (UTF-8, without the end
  // mark), its last component made of `unit` repeated.
  std::string PathOfLength(size_t bytes, const std::string& unit = "p") const {
    // The platform's separator: the written file is then found under this
    // very name in a listing.
    std::string path = dir_.path() + platform::kPathSeparator;
    while ((bytes - path.size()) % unit.size() != 0) path += "p";
    while (path.size() < bytes) path += unit;
    return path;
  }

 private:
  TempDir dir_;
};

struct Row {
  const char* what;
  // Prepares the inputs in the workspace and returns the call.
  std::function<Call(Workspace&)> prepare;
  int32_t expected;
  // Paths the call may create or rewrite: its own outputs.
  std::function<std::vector<std::string>(const Workspace&)> outputs = {};
  // Further checks of the outputs, if any.
  std::function<void(const Workspace&)> verify = {};
};

int32_t Invoke(const Call& call) {
  const Plugin& plugin = Plugin::Get();
  const char16_t* first = call.first ? call.first->c_str() : nullptr;
  const char16_t* second = call.second ? call.second->c_str() : nullptr;
  switch (call.entry) {
    case Entry::kDiscover:
      return plugin.api.discover(first, second);
    case Entry::kFlash:
      return plugin.api.flash(first, second);
    case Entry::kFullFlash:
      return plugin.api.fullFlashPci(first, nullptr, call.segment, call.bus, call.device,
                                     call.function);
    case Entry::kDump:
      return plugin.api.flashDumpPci(first, nullptr, call.segment, call.bus, call.device,
                                     call.function);
    case Entry::kAdapterInfo:
      break;
  }
  // The host's array: what the plug-in does not fill keeps the host's bytes.
  std::vector<OemAdapterInfoElement> array(2);
  std::memset(array.data(), 0xEE, array.size() * sizeof(OemAdapterInfoElement));
  const std::vector<OemAdapterInfoElement> before = array;
  int32_t count = -1;
  int32_t result = plugin.api.adapterInfo(array.data(), call.with_count ? &count : nullptr, second);
  if (result != 0) {
    EXPECT_EQ(std::memcmp(array.data(), before.data(), array.size() * sizeof(array[0])), 0)
        << "the array of a failed call was written";
  }
  return result;
}

void RunRows(const std::vector<Row>& rows) {
  ASSERT_NE(Plugin::Get().api.discover, nullptr);
  const std::string nvram_path = S2NvramPath(Plugin::Get().machine);
  for (const Row& row : rows) {
    Workspace workspace;
    const Call call = row.prepare(workspace);
    SCOPED_TRACE(std::string(EntryName(call.entry)) + ": " + row.what);
    const std::vector<std::string> outputs =
        row.outputs ? row.outputs(workspace) : std::vector<std::string>{};
    const std::map<std::string, std::string> before = Snapshot(workspace.root());
    const std::string nvram = ReadFile(nvram_path);

    EXPECT_EQ(Invoke(call), row.expected);

    // Nothing lost, nothing left behind, the adapter untouched.
    std::map<std::string, std::string> after = Snapshot(workspace.root());
    for (const std::string& output : outputs) after.erase(output);
    std::map<std::string, std::string> expected = before;
    for (const std::string& output : outputs) expected.erase(output);
    EXPECT_EQ(after, expected);
    EXPECT_TRUE(ReadFile(nvram_path) == nvram) << "the adapter's NVRAM changed";
    if (row.verify) row.verify(workspace);
    // Leave the workspace removable whatever a row did to its permissions.
    std::error_code ignored;
    for (const auto& [path, kind] : before) {
      fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
}

std::vector<std::string> Just(std::string path) { return {std::move(path)}; }

constexpr size_t kPathLimit = 260;  // bytes with the end mark

TEST(BadInput, Paths) {
  const std::u16string lone_high = u"\xD800";
  const std::u16string lone_low = u"\xDC00";
  const std::vector<Row> rows = {
      // Missing and empty paths.
      {"null document",
       [](Workspace& w) { return Paths(Entry::kDiscover, std::nullopt, U16(w.Firmware())); }, 12},
      {"empty document",
       [](Workspace& w) { return Paths(Entry::kDiscover, u"", U16(w.Firmware())); }, 12},
      {"null firmware",
       [](Workspace& w) { return Paths(Entry::kDiscover, U16(w.Path("d.xml")), std::nullopt); }, 8},
      {"empty firmware",
       [](Workspace& w) { return Paths(Entry::kDiscover, U16(w.Path("d.xml")), u""); }, 8},
      {"null request",
       [](Workspace& w) { return Paths(Entry::kFlash, std::nullopt, U16(w.Firmware())); }, 11},
      {"empty request", [](Workspace& w) { return Paths(Entry::kFlash, u"", U16(w.Firmware())); },
       11},
      {"null firmware",
       [](Workspace& w) { return Paths(Entry::kFlash, U16(w.Request()), std::nullopt); }, 8},
      {"empty firmware", [](Workspace& w) { return Paths(Entry::kFlash, U16(w.Request()), u""); },
       8},
      {"null package", [](Workspace&) { return Pci(Entry::kFullFlash, std::nullopt); }, 106},
      {"empty package", [](Workspace&) { return Pci(Entry::kFullFlash, u""); }, 106},
      {"null backup", [](Workspace&) { return Pci(Entry::kDump, std::nullopt); }, -101},
      {"empty backup", [](Workspace&) { return Pci(Entry::kDump, u""); }, -101},
      {"null firmware", [](Workspace&) { return Info(std::nullopt); }, 8},
      {"empty firmware", [](Workspace&) { return Info(u""); }, 8},

      // At the limit a path is used whole; one byte more and it is refused,
      // never cut into the name of another file.
      {"document of 259 bytes",
       [](Workspace& w) {
         return Paths(Entry::kDiscover, U16(w.PathOfLength(kPathLimit - 1)), U16(w.Firmware()));
       },
       0, [](const Workspace& w) { return Just(w.PathOfLength(kPathLimit - 1)); }},
      {"document of 260 bytes",
       [](Workspace& w) {
         return Paths(Entry::kDiscover, U16(w.PathOfLength(kPathLimit)), U16(w.Firmware()));
       },
       12},
      {"document of 260 bytes in two-byte characters",
       [](Workspace& w) {
         return Paths(Entry::kDiscover, U16(w.PathOfLength(kPathLimit, "\xC3\xA9")),
                      U16(w.Firmware()));
       },
       12},
      {"document of 4000 bytes",
       [](Workspace& w) {
         return Paths(Entry::kDiscover,
                      U16(w.root() + "/" + std::string(3000, 'd') + "/" + std::string(1000, 'd')),
                      U16(w.Firmware()));
       },
       12},
      {"request of 260 bytes",
       [](Workspace& w) {
         fs::rename(w.Request(), w.PathOfLength(kPathLimit));
         return Paths(Entry::kFlash, U16(w.PathOfLength(kPathLimit)), U16(w.Firmware()));
       },
       11},
      {"firmware folder of 260 bytes",
       [](Workspace& w) {
         fs::rename(w.Firmware(), w.PathOfLength(kPathLimit));
         return Paths(Entry::kFlash, U16(w.Request()), U16(w.PathOfLength(kPathLimit)));
       },
       8},
      {"package of 260 bytes",
       [](Workspace& w) {
         fs::rename(w.Package(), w.PathOfLength(kPathLimit));
         return Pci(Entry::kFullFlash, U16(w.PathOfLength(kPathLimit)));
       },
       106},
      {"backup of 259 bytes",
       [](Workspace& w) { return Pci(Entry::kDump, U16(w.PathOfLength(kPathLimit - 1))); }, 0,
       [](const Workspace& w) { return Just(w.PathOfLength(kPathLimit - 1)); }},
      {"backup of 260 bytes",
       [](Workspace& w) { return Pci(Entry::kDump, U16(w.PathOfLength(kPathLimit))); }, -101},
      {"firmware folder of 260 bytes",
       [](Workspace& w) {
         fs::rename(w.Firmware(), w.PathOfLength(kPathLimit));
         return Info(U16(w.PathOfLength(kPathLimit)));
       },
       8},

      // UTF-16 that no UTF-8 text stands for.
      {"document with a lone high surrogate",
       [lone_high](Workspace& w) {
         return Paths(Entry::kDiscover, U16(w.Path("d")) + lone_high + u".xml", U16(w.Firmware()));
       },
       12},
      {"firmware with a lone low surrogate",
       [lone_low](Workspace& w) {
         return Paths(Entry::kDiscover, U16(w.Path("d.xml")), U16(w.Firmware()) + lone_low);
       },
       8},
      {"request with a lone low surrogate",
       [lone_low](Workspace& w) {
         return Paths(Entry::kFlash, U16(w.Request()) + lone_low, U16(w.Firmware()));
       },
       11},
      {"package with a lone high surrogate",
       [lone_high](Workspace& w) { return Pci(Entry::kFullFlash, U16(w.Package()) + lone_high); },
       106},
      {"backup with a lone high surrogate at the end",
       [lone_high](Workspace& w) { return Pci(Entry::kDump, U16(w.Path("b.pkg")) + lone_high); },
       -101},

      // A folder where a file belongs, and the reverse.
      {"document is a folder",
       [](Workspace& w) { return Paths(Entry::kDiscover, U16(w.Firmware()), U16(w.Firmware())); },
       12},
      {"request is a folder",
       [](Workspace& w) { return Paths(Entry::kFlash, U16(w.Firmware()), U16(w.Firmware())); }, 11},
      {"package is a folder",
       [](Workspace& w) { return Pci(Entry::kFullFlash, U16(w.Firmware())); }, 106},
      {"backup is a folder", [](Workspace& w) { return Pci(Entry::kDump, U16(w.Firmware())); },
       -101},
      {"requested package is a folder",
       [](Workspace& w) {
         fs::remove(w.Package());
         fs::create_directory(w.Package());
         return Paths(Entry::kFlash, U16(w.Request()), U16(w.Firmware()));
       },
       106, [](const Workspace& w) { return Just(w.Request()); }},
      {"firmware is a file",
       [](Workspace& w) { return Paths(Entry::kDiscover, U16(w.Path("d.xml")), U16(w.Package())); },
       8},
      {"firmware is a file", [](Workspace& w) { return Info(U16(w.Package())); }, 8},
      {"document below a file",
       [](Workspace& w) {
         return Paths(Entry::kDiscover, U16(w.Package() + "/d.xml"), U16(w.Firmware()));
       },
       12},
      {"backup below a file",
       [](Workspace& w) { return Pci(Entry::kDump, U16(w.Package() + "/b.pkg")); }, -101},
  };
  RunRows(rows);
}

// Rows whose request document is replaced by `text`.
Row Document(const char* what, std::string text, int32_t expected, bool written_back = false) {
  Row row{what,
          [text](Workspace& w) {
            WriteFile(w.Request(), text);
            return Paths(Entry::kFlash, U16(w.Request()), U16(w.Firmware()));
          },
          expected};
  if (written_back) row.outputs = [](const Workspace& w) { return Just(w.Request()); };
  return row;
}

std::string Repeat(const std::string& text, size_t times) {
  std::string out;
  out.reserve(text.size() * times);
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

std::string ExternalEntity(const Workspace& w) {
  return "<!DOCTYPE qv_rom_discovery [<!ENTITY secret SYSTEM \"" + w.Path("secret.txt") + "\">]>\n";
}

TEST(BadInput, RequestDocuments) {
  // An entity that would make the request name the S2 if it were expanded.
  const std::string internal_entity = RequestText(
      "&s2;", "<!DOCTYPE qv_rom_discovery [<!ENTITY s2 \"" + std::string(kS2Location) + "\">]>\n");
  // Exponential expansion ("billion laughs"), used where it would be read.
  std::string laughs = "<!DOCTYPE qv_rom_discovery [<!ENTITY l0 \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " \"" +
              Repeat("&l" + std::to_string(i - 1) + ";", 10) + "\">";
  }
  laughs += "]>\n";
  const std::vector<Row> rows = {
      // Larger than the parser takes in one attribute value: refused whole.
      Document("a huge document", RequestText(std::string(16 << 20, '0')), 11),
      // Many devices none of which is in the inventory: read and answered
      // (an installation asked of a device that is not there: 4).
      Document("a large document of unknown devices",
               "<qv_rom_discovery><devices>" +
                   Repeat("<device><device_id value=\"0000:99:00:0\"/><fw_item><action "
                          "value=\"upgrade\"/><firmware_file value=\"x.pkg\"/></fw_item></device>",
                          50000) +
                   "</devices></qv_rom_discovery>",
               4, true),
      Document("a deeply nested document",
               "<qv_rom_discovery><devices>" + Repeat("<device>", 100000) +
                   Repeat("</device>", 100000) + "</devices></qv_rom_discovery>",
               11),
      Document("a document that is not UTF-8", RequestText("0000:03:00:0\xFF\xFE"), 11),
      Document("a document in Latin-1 declared as UTF-8",
               RequestText(kS2Location) + "<!-- caf\xE9 -->", 11),
      Document("an internal entity is not expanded into a device", internal_entity, 4, true),
      Document("exponential entities", RequestText("&l9;", laughs), 11),
      // An attribute may not refer to an external entity at all.
      {"an external entity in a value",
       [](Workspace& w) {
         WriteFile(w.Path("secret.txt"), kS2Location);
         WriteFile(w.Request(), RequestText("&secret;", ExternalEntity(w)));
         return Paths(Entry::kFlash, U16(w.Request()), U16(w.Firmware()));
       },
       11},
      // In content it stays a reference: neither fetched nor written back
      // with what it names.
      {"an external entity in content",
       [](Workspace& w) {
         WriteFile(w.Path("secret.txt"), "top secret");
         std::string text = RequestText("0000:99:00:0", ExternalEntity(w));
         text.insert(text.find("</qv_rom_discovery>"), "<note>&secret;</note>");
         WriteFile(w.Request(), text);
         return Paths(Entry::kFlash, U16(w.Request()), U16(w.Firmware()));
       },
       4, [](const Workspace& w) { return Just(w.Request()); },
       [](const Workspace& w) {
         std::string answer = ReadFile(w.Request());
         EXPECT_NE(answer.find("&secret;"), std::string::npos) << answer;
         EXPECT_EQ(answer.find("top secret"), std::string::npos) << answer;
       }},
  };
  RunRows(rows);
}

// A package file replaced by `bytes`, installed by PCI numbers and through
// a request.
std::vector<Row> PackageRows(const char* what, std::function<Bytes()> bytes) {
  auto prepare = [bytes](Workspace& w) {
    Bytes package = bytes();
    WriteFile(w.Package(), std::string(package.begin(), package.end()));
  };
  return {
      {what,
       [prepare](Workspace& w) {
         prepare(w);
         return Pci(Entry::kFullFlash, U16(w.Package()));
       },
       106},
      {what,
       [prepare](Workspace& w) {
         prepare(w);
         return Paths(Entry::kFlash, U16(w.Request()), U16(w.Firmware()));
       },
       106, [](const Workspace& w) { return Just(w.Request()); }},
      // A discovery passes such a package over and still answers.
      {what,
       [prepare](Workspace& w) {
         prepare(w);
         return Paths(Entry::kDiscover, U16(w.Path("d.xml")), U16(w.Firmware()));
       },
       0, [](const Workspace& w) { return Just(w.Path("d.xml")); }},
  };
}

TEST(BadInput, Packages) {
  std::vector<Row> rows;
  auto add = [&rows](std::vector<Row> more) { rows.insert(rows.end(), more.begin(), more.end()); };
  add(PackageRows("a package of 0 bytes", [] { return Bytes(); }));
  add(PackageRows("a package cut short of what it claims", [] {
    Bytes package = S2PackageBytes();
    package.resize(package.size() / 2);
    return package;
  }));
  add(PackageRows("a package whose header claims 4 GiB", [] {
    Bytes package = S2PackageBytes();
    for (size_t i = 8; i < 12; ++i) package[i] = 0xFF;  // the header length
    return package;
  }));
  RunRows(rows);
}

TEST(BadInput, PciNumbersAndTheCount) {
  struct Numbers {
    int32_t segment, bus, device, function;
  };
  const Numbers nowhere[] = {
      {-1, 3, 0, 0},
      {0, -1, 0, 0},
      {1, 3, 0, 0},
      {0, 0x103, 0, 0},
      {0, 3, 32, 0},
      {0, 3, 0, 8},
      {0, 3, 0, 1},
      {INT32_MAX, INT32_MAX, 0, 0},
      {0, 3, INT32_MIN, INT32_MIN},
  };
  std::vector<Row> rows;
  for (const Numbers& n : nowhere) {
    rows.push_back({"no device at these numbers",
                    [n](Workspace& w) {
                      return Pci(Entry::kFullFlash, U16(w.Package()), n.segment, n.bus, n.device,
                                 n.function);
                    },
                    102});
    rows.push_back({"no device at these numbers",
                    [n](Workspace& w) {
                      return Pci(Entry::kDump, U16(w.Path("b.pkg")), n.segment, n.bus, n.device,
                                 n.function);
                    },
                    102});
  }
  rows.push_back({"an array without a count",
                  [](Workspace& w) { return Info(U16(w.Firmware()), false); }, 102});
  RunRows(rows);
}

TEST(BadInput, UnreadableFiles) {
#if defined(_WIN32)
  // std::filesystem::permissions only sets the read-only attribute there.
  GTEST_SKIP() << "Windows denies reading through access lists, not permission bits";
#else
  if (::geteuid() == 0) GTEST_SKIP() << "permissions deny nothing to root";
#endif
  auto deny = [](const std::string& path) { fs::permissions(path, fs::perms::none); };
  const std::vector<Row> rows = {
      {"an unreadable request",
       [deny](Workspace& w) {
         deny(w.Request());
         return Paths(Entry::kFlash, U16(w.Request()), U16(w.Firmware()));
       },
       11},
      {"an unreadable package",
       [deny](Workspace& w) {
         deny(w.Package());
         return Pci(Entry::kFullFlash, U16(w.Package()));
       },
       106},
      {"an unreadable requested package",
       [deny](Workspace& w) {
         deny(w.Package());
         return Paths(Entry::kFlash, U16(w.Request()), U16(w.Firmware()));
       },
       106, [](const Workspace& w) { return Just(w.Request()); }},
      {"a backup into a folder without write permission",
       [](Workspace& w) {
         fs::create_directory(w.Path("closed"));
         fs::permissions(w.Path("closed"), fs::perms::owner_read | fs::perms::owner_exec);
         return Pci(Entry::kDump, U16(w.Path("closed/b.pkg")));
       },
       -101},
      {"a discovery into a folder without write permission",
       [](Workspace& w) {
         fs::create_directory(w.Path("closed"));
         fs::permissions(w.Path("closed"), fs::perms::owner_read | fs::perms::owner_exec);
         return Paths(Entry::kDiscover, U16(w.Path("closed/d.xml")), U16(w.Firmware()));
       },
       12},
  };
  RunRows(rows);
}

// Last: tracing, once on, stays on for the program.
TEST(BadInput, TraceLogPaths) {
  const Plugin& plugin = Plugin::Get();
  ASSERT_NE(plugin.api.debugInfo, nullptr);
  Workspace workspace;
  const std::u16string paths[] = {U16(workspace.PathOfLength(kPathLimit)),
                                  U16(workspace.Path("t")) + u"\xD800",
                                  U16(workspace.Firmware()),  // a folder
                                  U16(workspace.Package() + "/t.log"), u""};
  const std::map<std::string, std::string> before = Snapshot(workspace.root());
  EXPECT_EQ(plugin.api.debugInfo(nullptr), 0);
  EXPECT_EQ(
      plugin.api.discover(U16(workspace.Path("d.xml")).c_str(), U16(workspace.Firmware()).c_str()),
      0);
  for (const std::u16string& path : paths) {
    EXPECT_EQ(plugin.api.debugInfo(path.c_str()), 0);
    // The call after it works as without a log, and no log lands anywhere.
    EXPECT_EQ(plugin.api.discover(U16(workspace.Path("d.xml")).c_str(),
                                  U16(workspace.Firmware()).c_str()),
              0);
  }
  std::map<std::string, std::string> after = Snapshot(workspace.root());
  after.erase(workspace.Path("d.xml"));
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace skyfw::testing
