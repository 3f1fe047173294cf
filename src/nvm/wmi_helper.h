// WmiHelper: one WMI connection for one operation, and the typed setters and
// getters of method inputs and results.
//
// Every driver service the system uses is a WMI class in root\wmi, one
// instance per adapter keyed by its InstanceName (the adapter's title). A
// helper lives for one operation: it initialises COM for the calling thread,
// connects, and undoes both when it is destroyed, so helpers may nest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/byte_reader.h"
#include "platform/wmi.h"

namespace skyfw {

inline constexpr std::u16string_view kWmiNamespace = u"root\\wmi";
inline constexpr std::u16string_view kStandardCimv2Namespace = u"root\\standardcimv2";

// The escaped key value, with its terminator, must fit this many units.
inline constexpr size_t kEscapedKeyUnits = 512;
// GetComputerName's buffer: 15 characters and the terminator.
inline constexpr size_t kComputerNameUnits = 16;

class WmiHelper {
 public:
  explicit WmiHelper(std::u16string_view name_space);
  virtual ~WmiHelper();
  WmiHelper(const WmiHelper&) = delete;
  WmiHelper& operator=(const WmiHelper&) = delete;

  bool IsConnected() const { return connected_; }

  // The method's input signature, into `holder` (left null when the method
  // takes no inputs). Values are put straight into that signature object.
  bool PrepareMethod(std::u16string_view class_name, std::u16string_view method,
                     platform::WmiObjectPtr& holder);

  // Executes `method` on the adapter's instance of `class_name`; `input` may
  // be null. The result object lands in `result`.
  bool ExecuteMethod(std::u16string_view class_name, std::u16string_view instance_name,
                     std::u16string_view method, const platform::WmiObjectPtr& input,
                     platform::WmiObjectPtr& result);

  // The adapter's instance of a root\wmi class. On failure `instance` keeps
  // what it held.
  bool GetInstanceByName(std::u16string_view class_name, std::u16string_view instance_name,
                         platform::WmiObjectPtr& instance);

  // An instance keyed by InstanceID in any namespace (the SR-IOV settings).
  bool GetInstanceById(std::u16string_view name_space, std::u16string_view class_name,
                       std::u16string_view instance_id, platform::WmiObjectPtr& instance);

 private:
  bool Fetch(const std::u16string& path, platform::WmiObjectPtr& object);

  platform::Wmi& wmi_;  // the platform's COM, held so destruction balances the same one
  std::unique_ptr<platform::WmiLocator> locator_;
  std::unique_ptr<platform::WmiServices> services_;
  bool connected_ = false;
  bool com_initialized_ = false;
};

// A key value inside an object path: '"' and '\' each get a backslash in
// front. False when the escaped value and its terminator exceed
// kEscapedKeyUnits (the path would otherwise name a cut-off, wrong instance).
bool EscapeKeyValue(std::u16string_view value, std::u16string& escaped);

// The three object paths; false when the key value does not fit.
bool MethodObjectPath(std::u16string_view class_name, std::u16string_view instance_name,
                      std::u16string& path);
bool InstanceByNamePath(std::u16string_view computer, std::u16string_view class_name,
                        std::u16string_view instance_name, std::u16string& path);
bool InstanceByIdPath(std::u16string_view computer, std::u16string_view name_space,
                      std::u16string_view class_name, std::u16string_view instance_id,
                      std::u16string& path);

// Input setters: true when the object took the value.
bool PutUInt8(const platform::WmiObjectPtr& object, std::u16string_view name, uint8_t value);
// VT_UI2, else VT_I2, else VT_I4 (zero-extended): drivers declare 16-bit
// inputs signed or as 32-bit numbers, and WMI refuses a VT that cannot carry them.
bool PutUInt16(const platform::WmiObjectPtr& object, std::u16string_view name, uint16_t value);
// VT_I4; 0xFFFFFFFF is refused without touching the object.
bool PutInt32(const platform::WmiObjectPtr& object, std::u16string_view name, uint32_t value);
// VT_ARRAY|VT_UI1 of exactly `bytes`; a null view is refused.
bool PutByteArray(const platform::WmiObjectPtr& object, std::u16string_view name, ByteView bytes);

// Result getters: true when a value of the accepted type was delivered.
bool GetUInt8(const platform::WmiObjectPtr& object, std::u16string_view name, uint8_t& value);
// Only VT_I4 (how WMI hands out 16-bit numbers); keeps the low 16 bits.
bool GetUInt16(const platform::WmiObjectPtr& object, std::u16string_view name, uint16_t& value);
// Any type: the low 32 bits of the value field.
bool GetUInt32(const platform::WmiObjectPtr& object, std::u16string_view name, uint32_t& value);
bool GetText(const platform::WmiObjectPtr& object, std::u16string_view name, std::u16string& text);
bool GetFlag(const platform::WmiObjectPtr& object, std::u16string_view name, bool& flag);
// Copies at most buffer.size() elements into `buffer`; `copied` receives how
// many. A null buffer is refused at once.
bool GetByteArray(const platform::WmiObjectPtr& object, std::u16string_view name,
                  std::span<uint8_t> buffer, size_t& copied);

}  // namespace skyfw
