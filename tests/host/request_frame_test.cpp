// The request frames of the five work entry points on simulated machines:
// their own results (101 when the adapter library does not start, 102 when
// it finds no device) and the enter and leave lines each writes to the trace.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "base/unicode.h"
#include "host/entry_points.h"
#include "host/library_state.h"
#include "support/sim_adapter.h"

namespace skyfw::testing {
namespace {

namespace fs = std::filesystem;

// One work entry point, called with paths inside `dir` and, where it takes
// them, the PCI numbers of the first simulated adapter (bus 3).
struct EntryPoint {
  const char* name;
  bool pci_frame;
  std::function<HostResultCode(const TempDir& dir)> call;
};

std::u16string Wide(const std::string& text) { return Utf8ToUtf16(text); }

const std::vector<EntryPoint>& EntryPoints() {
  static const std::vector<EntryPoint> entries = {
      {"oem_do_discovery_with_files", false,
       [](const TempDir& dir) {
         return DoDiscoveryWithFiles(Wide(dir.File("d.xml")).c_str(),
                                     Wide(dir.File("firmware")).c_str());
       }},
      {"oem_do_flash_with_file", false,
       [](const TempDir& dir) {
         return DoFlashWithFile(Wide(dir.File("d.xml")).c_str(),
                                Wide(dir.File("firmware")).c_str());
       }},
      {"oem_get_adapter_info", false,
       [](const TempDir& dir) {
         std::vector<OemAdapterInfoElement> elements(4);
         int32_t count = static_cast<int32_t>(elements.size());
         return GetAdapterInfo(elements.data(), &count, Wide(dir.File("firmware")).c_str());
       }},
      {"oem_do_full_flash_PCI", true,
       [](const TempDir& dir) {
         return DoFullFlashPci(Wide(dir.File("firmware/none.pkg")).c_str(), 0, 3, 0, 0);
       }},
      {"oem_get_full_flash_dump_PCI", true,
       [](const TempDir& dir) {
         return GetFullFlashDumpPci(Wide(dir.File("backup.pkg")).c_str(), 0, 3, 0, 0);
       }},
  };
  return entries;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Calls `entry` with tracing into a file of its own; returns the result and
// the trace ("" when no trace file was written).
struct TracedCall {
  HostResultCode result = -1;
  std::string trace;
};

TracedCall CallTraced(const EntryPoint& entry, const TempDir& dir) {
  const std::string trace_path = dir.File(std::string(entry.name) + ".log");
  EXPECT_EQ(GetDebugInfo(Wide(trace_path).c_str()), 0);
  TracedCall traced;
  traced.result = entry.call(dir);
  if (fs::exists(trace_path)) traced.trace = ReadFile(trace_path);
  return traced;
}

// The port of adapter "a0" as the adapter library enumerates it: a physical
// adapter of the family under the current driver.
void AsEnumeratedPorts(nlohmann::json& description) {
  description["devices"] = {{{"adapter", "a0"},
                             {"location", {{"bus", 3}, {"device", 0}, {"function", 0}}},
                             {"description", "Skyline a0"},
                             {"class_values",
                              {{"Characteristics", 0x84},
                               {"ComponentId", "pci\\ven_1d6a&dev_0b10"},
                               {"DriverVersion", "2.0.0.0"},
                               {"NetCfgInstanceId", "{6C1B2A4E-8F3D-4B7A-9E21-5D0C7F3A9B10}"}}},
                             {"port", {{"permanent_mac", "02:0A:3B:1C:2D:10"}}}}};
}

class RequestFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Library() = LibraryState{};
    fs::create_directory(dir_.File("firmware"));
  }
  void TearDown() override { Library() = LibraryState{}; }

  TempDir dir_;
};

// A machine without a Skyline adapter: the adapter library does not start.
// The directory frame says so in the trace; the PCI frame has not opened the
// trace yet and writes nothing at all. Nothing is written for the host.
TEST_F(RequestFrameTest, AFailedLibraryStartGives101FromEveryWorkEntryPoint) {
  SimulatedMachine machine(std::initializer_list<nlohmann::json>{});
  for (const EntryPoint& entry : EntryPoints()) {
    SCOPED_TRACE(entry.name);
    TracedCall call = CallTraced(entry, dir_);
    EXPECT_EQ(call.result, 101);
    if (entry.pci_frame) {
      EXPECT_EQ(call.trace, "");
    } else {
      EXPECT_EQ(Count(call.trace, std::string("Enter ") + entry.name + ":\n"), 1u);
      EXPECT_EQ(Count(call.trace, std::string(entry.name) + "(): ngNmapiInitializeEx() failed."),
                1u);
      EXPECT_EQ(Count(call.trace, "Leave "), 0u);
    }
  }
  EXPECT_FALSE(fs::exists(dir_.File("d.xml")));
  EXPECT_FALSE(fs::exists(dir_.File("backup.pkg")));
}

// The enter and leave lines of each frame, for a call that found no device
// (102) and for one that did its work.
TEST_F(RequestFrameTest, EnterAndLeaveLinesOfEachFrame) {
  struct Expected {
    bool enter, leave, discover_failed;
  };
  struct Case {
    const char* what;
    bool no_device;
    std::vector<Expected> per_entry;  // in the order of EntryPoints()
  } cases[] = {
      // Only a port at function 1: the library starts, the inventory stays
      // empty. The backup writes no enter line and no failure message.
      {"no device",
       true,
       {{true, false, true},
        {true, false, true},
        {true, true, true},
        {true, true, true},
        {false, true, false}}},
      // The discovery has no leave line; the flash has one for a request
      // it processed.
      {"one S2",
       false,
       {{true, false, false},
        {true, true, false},
        {true, true, false},
        {true, true, false},
        {false, true, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    fs::create_directory(dir.File("firmware"));
    SimulatedMachine machine({S2Adapter("a0", "NV1", "21.6.2")}, nullptr,
                             [&](nlohmann::json& description) {
                               AsEnumeratedPorts(description);
                               if (c.no_device)
                                 description["devices"][0]["location"]["function"] = 1;
                             });
    for (size_t i = 0; i < EntryPoints().size(); ++i) {
      const EntryPoint& entry = EntryPoints()[i];
      const Expected& expected = c.per_entry[i];
      SCOPED_TRACE(entry.name);
      TracedCall call = CallTraced(entry, dir);
      if (c.no_device) {
        EXPECT_EQ(call.result, 102);
      } else {
        EXPECT_NE(call.result, 101);
        EXPECT_NE(call.result, 102);
      }
      EXPECT_EQ(Count(call.trace, std::string("Enter ") + entry.name + ":\n"),
                expected.enter ? 1u : 0u);
      EXPECT_EQ(Count(call.trace, std::string("Leave ") + entry.name + ":\n"),
                expected.leave ? 1u : 0u);
      EXPECT_EQ(Count(call.trace, std::string(entry.name) + "(): discover device failed."),
                expected.discover_failed ? 1u : 0u);
    }
  }
}

// The discovery document names each proposed package file; the flash of that
// document must read it back. A name that is not UTF-8 or holds a control
// character was once written raw: discovery returned 0 and the flash 11.
TEST_F(RequestFrameTest, DiscoveryLeavesOutNamesTheDocumentCannotCarry) {
  struct Case {
    const char* what;
    std::string name;
    bool proposed;
    bool windows_name;  // Windows file names are UTF-16 and hold no C0 control character
  } cases[] = {
      {"not UTF-8", "s2-\xFF.pkg", false, false},
      {"a C0 control character", "s2-\x01.pkg", false, false},
      {"DEL", "s2-\x7F.pkg", false, true},
      {"a C1 control character", "s2-\xC2\x85.pkg", false, true},
      {"UTF-8 beyond ASCII", "s2-\xC3\xBC.pkg", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
#if defined(_WIN32)
    if (!c.windows_name) continue;  // no such file can be made there
#endif
    Library() = LibraryState{};
    TempDir dir;
    TempDir firmware;
    SimulatedMachine machine({S2Adapter("a0", "NV1", "21.6.2")}, nullptr, AsEnumeratedPorts);
    WritePackageFile(firmware, c.name, S2Package("22.1.0"));
    const std::string document = dir.File("d.xml");
    const std::string trace = dir.File("trace.log");
    ASSERT_EQ(GetDebugInfo(Wide(trace).c_str()), 0);

    ASSERT_EQ(DoDiscoveryWithFiles(Wide(document).c_str(), Wide(firmware.path()).c_str()), 0)
        << ::testing::PrintToString(machine.TraceLines());
    const std::string text = ReadFile(document);
    EXPECT_EQ(text.find(c.name) != std::string::npos, c.proposed) << text;
    EXPECT_EQ(Count(ReadFile(trace), "Package file [" + firmware.File(c.name) + "] left out"),
              c.proposed ? 0u : 1u);
    // The flash reads the document back (11 would say it could not).
    EXPECT_NE(DoFlashWithFile(Wide(document).c_str(), Wide(firmware.path()).c_str()), 11);
  }
}

}  // namespace
}  // namespace skyfw::testing
