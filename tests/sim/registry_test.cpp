// The machine's registry through the seam: the keys of the description,
// subkey listing, persisted writes, keys without access.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <optional>

#include "machine_fixture.h"

namespace skyfw::sim {
namespace {

using namespace skyfw::platform;
using testing::MachineFixture;
using testing::SmallMachine;

constexpr const char* kClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e972-e325-11ce-bfc1-08002be10318}";

TEST(MachineRegistry, ServesTheDevicesClassKeysAsNmapiReadsThem) {
  MachineFixture fixture(SmallMachine());
  Registry& registry = fixture.machine().registry();
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(registry.OpenKey(kClassKey, KEY_READ, key), ERROR_SUCCESS);
  uint32_t subkeys = 0, values = 0;
  ASSERT_EQ(key->QueryInfoKey(subkeys, values), ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 2u);
  std::string name;
  ASSERT_EQ(key->EnumKey(0, name), ERROR_SUCCESS);
  EXPECT_EQ(name, "0000");
  ASSERT_EQ(key->EnumKey(1, name), ERROR_SUCCESS);
  EXPECT_EQ(name, "0001");
  EXPECT_EQ(key->EnumKey(2, name), ERROR_NO_MORE_ITEMS);

  // Paths and value names compare without regard to case.
  std::unique_ptr<RegistryKey> adapter;
  ASSERT_EQ(registry.OpenKey(std::string(kClassKey) + "\\0000", KEY_READ, adapter), ERROR_SUCCESS);
  RegistryValue value;
  ASSERT_EQ(adapter->QueryValue("characteristics", value), ERROR_SUCCESS);
  EXPECT_EQ(value.AsDword(), 0x84u);
  ASSERT_EQ(adapter->QueryValue("NetCfgInstanceId", value), ERROR_SUCCESS);
  EXPECT_EQ(value.AsText(), testing::kPortInterface);
  EXPECT_EQ(adapter->QueryValue("VlanID", value), ERROR_FILE_NOT_FOUND);

  std::unique_ptr<RegistryKey> missing;
  EXPECT_EQ(registry.OpenKey("SYSTEM\\NoSuchKey", KEY_READ, missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
  // A parent of described keys exists too.
  std::unique_ptr<RegistryKey> services;
  EXPECT_EQ(registry.OpenKey("system\\currentcontrolset\\services", KEY_READ, services),
            ERROR_SUCCESS);
}

TEST(MachineRegistry, WritesPersistAcrossOpeningsOfTheMachine) {
  MachineFixture fixture(SmallMachine());
  const char* kEventSource = "SYSTEM\\CurrentControlSet\\services\\eventlog\\Application\\Norvane";
  {
    std::unique_ptr<RegistryKey> key;
    bool created = false;
    ASSERT_EQ(fixture.machine().registry().CreateKey(kEventSource, KEY_ALL_ACCESS, key, &created),
              ERROR_SUCCESS);
    EXPECT_TRUE(created);
    EXPECT_EQ(key->SetValue("CategoryCount", RegistryValue::Dword(1)), ERROR_SUCCESS);
    EXPECT_EQ(key->SetValue("EventMessageFile",
                            RegistryValue::Text("C:\\My Dir\\nrvn_qv_eventlog.dll", REG_EXPAND_SZ)),
              ERROR_SUCCESS);
  }
  auto other = fixture.Reopen();
  std::unique_ptr<RegistryKey> key;
  bool created = true;
  ASSERT_EQ(other->registry().CreateKey(kEventSource, KEY_ALL_ACCESS, key, &created),
            ERROR_SUCCESS);
  EXPECT_FALSE(created);
  RegistryValue value;
  ASSERT_EQ(key->QueryValue("EventMessageFile", value), ERROR_SUCCESS);
  EXPECT_EQ(value.type, REG_EXPAND_SZ);
  EXPECT_EQ(value.AsText(), "C:\\My Dir\\nrvn_qv_eventlog.dll");
  ASSERT_EQ(key->QueryValue("CategoryCount", value), ERROR_SUCCESS);
  EXPECT_EQ(value.AsDword(), 1u);

  // A key opened for reading refuses writes.
  std::unique_ptr<RegistryKey> read_only;
  ASSERT_EQ(other->registry().OpenKey(kEventSource, KEY_READ, read_only), ERROR_SUCCESS);
  EXPECT_EQ(read_only->SetValue("CategoryCount", RegistryValue::Dword(2)), ERROR_ACCESS_DENIED);
}

TEST(MachineRegistry, KeyWithoutAccessRefusesWhatTheFaultSays) {
  auto description = SmallMachine();
  description["faults"]["registry_denied"] =
      testing::Json::array({{{"key", kClassKey}},
                            {{"key", "SYSTEM\\CurrentControlSet\\Services"}, {"deny_read", true}}});
  MachineFixture fixture(description);
  Registry& registry = fixture.machine().registry();
  std::unique_ptr<RegistryKey> key;
  // Full access, as ReadAdapterClassValue asks, fails without admin rights.
  EXPECT_EQ(registry.OpenKey(std::string(kClassKey) + "\\0000", KEY_ALL_ACCESS, key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(registry.OpenKey(std::string(kClassKey) + "\\0000", KEY_READ, key), ERROR_SUCCESS);
  EXPECT_EQ(registry.OpenKey("SYSTEM\\CurrentControlSet\\Services\\velond", KEY_READ, key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(registry.CreateKey("SYSTEM\\CurrentControlSet\\Services\\new", KEY_READ, key, nullptr),
            ERROR_ACCESS_DENIED);
}

// The child side of these tests is a fork of the test program; Windows has
// no fork (see "Windows lane" in the README).
#if !defined(_WIN32)
TEST(MachineRegistry, WritesOfTwoProcessesAllLand) {
  MachineFixture fixture(SmallMachine());
  constexpr int kWrites = 40;
  const char* kKey = "SOFTWARE\\Norvane\\Test";
  pid_t child = ::fork();
  if (child == 0) {
    auto machine = fixture.Reopen();
    std::unique_ptr<RegistryKey> key;
    if (machine->registry().CreateKey(kKey, KEY_ALL_ACCESS, key, nullptr) != ERROR_SUCCESS) {
      ::_exit(1);
    }
    for (int i = 0; i < kWrites; ++i) {
      if (key->SetValue("child" + std::to_string(i), RegistryValue::Dword(i)) != ERROR_SUCCESS) {
        ::_exit(2);
      }
    }
    ::_exit(0);
  }
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(fixture.machine().registry().CreateKey(kKey, KEY_ALL_ACCESS, key, nullptr),
            ERROR_SUCCESS);
  for (int i = 0; i < kWrites; ++i) {
    ASSERT_EQ(key->SetValue("parent" + std::to_string(i), RegistryValue::Dword(i)), ERROR_SUCCESS);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  uint32_t subkeys = 0, values = 0;
  ASSERT_EQ(key->QueryInfoKey(subkeys, values), ERROR_SUCCESS);
  EXPECT_EQ(values, 2u * kWrites);
}
#endif  // !_WIN32

// A process keeps the registry in memory between calls; what another process
// writes, and a registry.json removed by hand, must show at the very next
// call all the same.
TEST(MachineRegistry, SeesEveryChangeOfAnotherProcessAtOnce) {
  MachineFixture fixture(SmallMachine());
  const char* kKey = "SOFTWARE\\Norvane\\Shared";
  auto other = fixture.Reopen();
  auto read = [&](const char* name) -> std::optional<uint32_t> {
    std::unique_ptr<RegistryKey> key;
    RegistryValue value;
    if (fixture.machine().registry().OpenKey(kKey, KEY_READ, key) != ERROR_SUCCESS ||
        key->QueryValue(name, value) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return value.AsDword();
  };
  std::unique_ptr<RegistryKey> writer;
  ASSERT_EQ(other->registry().CreateKey(kKey, KEY_ALL_ACCESS, writer, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(read("Count"), std::nullopt);
  // Writes of the same size one after another: a file of the same size may
  // even reuse the file number, which the change counter still tells apart.
  for (uint32_t i = 1; i <= 5; ++i) {
    ASSERT_EQ(writer->SetValue("Count", RegistryValue::Dword(i)), ERROR_SUCCESS);
    EXPECT_EQ(read("Count"), i);
  }
  std::unique_ptr<RegistryKey> key;
  ASSERT_EQ(fixture.machine().registry().OpenKey(kKey, KEY_READ, key), ERROR_SUCCESS);
  uint32_t subkeys = 0, values = 0;
  ASSERT_EQ(key->QueryInfoKey(subkeys, values), ERROR_SUCCESS);
  EXPECT_EQ(values, 1u);
  ASSERT_EQ(writer->SetValue("Other", RegistryValue::Dword(7)), ERROR_SUCCESS);
  ASSERT_EQ(key->QueryInfoKey(subkeys, values), ERROR_SUCCESS);
  EXPECT_EQ(values, 2u);

  // Returning the machine to its description by hand.
  std::filesystem::remove(fixture.directory() / "registry.json");
  EXPECT_EQ(read("Count"), std::nullopt);
  EXPECT_EQ(fixture.machine().registry().OpenKey(kKey, KEY_READ, key), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace skyfw::sim
