#include "sim/machine/machine_mutexes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "base/text.h"
#include "os/file_names.h"

namespace skyfw::sim {
namespace {

using platform::ERROR_SUCCESS;

constexpr size_t kMaxEscapedName = 200;

// Mutex names are case-sensitive, file names on Windows are not: upper-case
// letters are escaped too, so that names differing in case only never share
// lock files (the hex digits of an escape are always upper-case, so no two
// escaped names differ in case only).
std::string EscapeName(std::string_view name) {
  std::string escaped;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                 c == '.' || c == '{' || c == '}';
    if (plain) {
      escaped.push_back(c);
    } else {
      auto byte = static_cast<uint8_t>(c);
      escaped.push_back('%');
      escaped.push_back(UpperHexDigit(byte >> 4));
      escaped.push_back(UpperHexDigit(byte));
    }
  }
  return escaped;
}

std::string UnescapeName(std::string_view escaped) {
  std::string name;
  // Escapes are upper-case only (see EscapeName).
  auto digit = [](char c) { return (c >= 'a' && c <= 'f') ? -1 : HexDigitValue(c); };
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '%' && i + 2 < escaped.size() && digit(escaped[i + 1]) >= 0 &&
        digit(escaped[i + 2]) >= 0) {
      name.push_back(static_cast<char>(digit(escaped[i + 1]) << 4 | digit(escaped[i + 2])));
      i += 2;
    } else {
      name.push_back(escaped[i]);
    }
  }
  return name;
}

using platform::LockableFile;
using Lock = LockableFile::Lock;
using Outcome = LockableFile::Outcome;

uint32_t ReadOwnerPid(const LockableFile& file) {
  std::string text;
  if (!file.ReadContent(text, 15) || text.empty()) return 0;
  // The digits at the start, as strtoul read them; anything else is no owner.
  const std::string_view digits = std::string_view(text).substr(0, text.find_first_not_of("0123456789"));
  return static_cast<uint32_t>(ParseDigits(digits, 10, UINT32_MAX).value_or(0));
}

// The owner is written in place as ten decimal digits (0: none), never cut and
// rewritten: cutting a file that holds data costs the file system a journal
// commit, which made every Wait and Release wait on the disk. Shorter texts
// that earlier versions wrote still read the same.
void WriteOwnerPid(LockableFile& file, uint32_t pid) {
  char digits[11];
  std::snprintf(digits, sizeof digits, "%010u", static_cast<unsigned>(pid));
  // A failed write leaves the old owner; the lock, not the text, decides.
  [[maybe_unused]] const int ignored = file.WritePrefix(std::string_view(digits, 10));
}

// One of a name's lock files: the base path with its suffix.
std::filesystem::path LockFilePath(const std::filesystem::path& base, const char* suffix) {
  std::filesystem::path path = base;
  path += suffix;
  return path;
}

}  // namespace

// What this process knows of one mutex name.
struct MachineMutexes::Shared {
  std::filesystem::path owner_path;
  std::mutex mutex;
  LockableFile owner;  // open while any handle of this process is
  uint32_t owner_thread = 0;
  uint32_t recursion = 0;
  uint32_t handles = 0;
};

namespace {

class MachineNamedMutex final : public platform::NamedMutex {
 public:
  MachineNamedMutex(std::shared_ptr<MachineMutexes::Shared> shared, LockableFile handle_file,
                    platform::System& system)
      : shared_(std::move(shared)), handle_file_(std::move(handle_file)), system_(system) {}

  ~MachineNamedMutex() override {
    {
      std::lock_guard<std::mutex> guard(shared_->mutex);
      if (--shared_->handles == 0) {
        // The process's last handle: an ownership still held is abandoned
        // (the owner file keeps the pid, which tells the next owner).
        shared_->owner.Close();
        shared_->owner_thread = 0;
        shared_->recursion = 0;
      }
    }
  }

  uint32_t Wait(uint32_t timeout_ms) override {
    uint32_t me = system_.GetCurrentThreadId();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      {
        std::lock_guard<std::mutex> guard(shared_->mutex);
        if (shared_->owner_thread == me) {
          ++shared_->recursion;
          return platform::WAIT_OBJECT_0;
        }
        if (shared_->owner_thread == 0) {
          if (!shared_->owner.is_open()) return platform::WAIT_FAILED;
          Outcome outcome = shared_->owner.TakeLock(Lock::kExclusive, false);
          if (outcome == Outcome::kLocked) {
            bool abandoned = ReadOwnerPid(shared_->owner) != 0;
            WriteOwnerPid(shared_->owner, system_.GetCurrentProcessId());
            shared_->owner_thread = me;
            shared_->recursion = 1;
            return abandoned ? platform::WAIT_ABANDONED : platform::WAIT_OBJECT_0;
          }
          if (outcome == Outcome::kFailed) return platform::WAIT_FAILED;
        }
      }
      if (timeout_ms != platform::INFINITE && std::chrono::steady_clock::now() >= deadline) {
        return platform::WAIT_TIMEOUT;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  uint32_t Release() override {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    if (shared_->owner_thread != system_.GetCurrentThreadId() || shared_->recursion == 0) {
      return platform::ERROR_NOT_OWNER;
    }
    if (--shared_->recursion == 0) {
      WriteOwnerPid(shared_->owner, 0);
      shared_->owner.Unlock();
      shared_->owner_thread = 0;
    }
    return ERROR_SUCCESS;
  }

  // Takes the ownership of a mutex just created (nobody else can hold it).
  bool TakeInitialOwnership() { return Wait(0) == platform::WAIT_OBJECT_0; }

 private:
  std::shared_ptr<MachineMutexes::Shared> shared_;
  LockableFile handle_file_;  // holds the shared lock that keeps the mutex in existence
  platform::System& system_;
};

}  // namespace

uint32_t MachineMutexes::CreateMutex(const platform::SecurityAttributes*, bool initial_owner,
                                     std::string_view name,
                                     std::unique_ptr<platform::NamedMutex>& mutex) {
  if (name.empty()) return platform::ERROR_INVALID_NAME;
  std::string escaped = EscapeName(name);
  if (escaped.size() > kMaxEscapedName) return platform::ERROR_INVALID_NAME;
  std::error_code error;
  std::filesystem::create_directories(locks_, error);
  std::filesystem::path base = locks_ / ("mutex-" + escaped);

  std::lock_guard<std::mutex> names_guard(mutex_);
  LockableFile creation_guard;
  if (creation_guard.Open(LockFilePath(base, ".guard")) != 0 ||
      creation_guard.TakeLock(Lock::kExclusive, true) != Outcome::kLocked) {
    return platform::ERROR_ACCESS_DENIED;
  }
  LockableFile handle_file;
  bool ok = handle_file.Open(LockFilePath(base, ".handles")) == 0;
  bool created = ok && handle_file.TakeLock(Lock::kExclusive, false) == Outcome::kLocked;
  // The guard keeps every other creation and probe out while the exclusive
  // lock becomes a shared one.
  if (created) handle_file.Unlock();
  ok = ok && handle_file.TakeLock(Lock::kShared, true) == Outcome::kLocked;

  std::shared_ptr<Shared>& shared = names_[escaped];
  if (!shared) {
    shared = std::make_shared<Shared>();
    shared->owner_path = LockFilePath(base, ".owner");
  }
  std::unique_ptr<MachineNamedMutex> handle;
  if (ok) {
    std::lock_guard<std::mutex> guard(shared->mutex);
    if (!shared->owner.is_open()) {
      [[maybe_unused]] const int ignored = shared->owner.Open(shared->owner_path);
    }
    ok = shared->owner.is_open();
    // A new mutex starts unowned, whatever a dead owner left in the file.
    if (ok && created) WriteOwnerPid(shared->owner, 0);
    if (ok) ++shared->handles;
  }
  if (ok) {
    handle = std::make_unique<MachineNamedMutex>(shared, std::move(handle_file), system_);
  }
  creation_guard.Close();  // drops the guard
  if (!ok) return platform::ERROR_ACCESS_DENIED;

  if (created && initial_owner) handle->TakeInitialOwnership();
  mutex = std::move(handle);
  return created ? ERROR_SUCCESS : platform::ERROR_ALREADY_EXISTS;
}

std::vector<MutexState> ListMutexes(const std::filesystem::path& machine_directory) {
  std::vector<MutexState> states;
  std::error_code error;
  std::filesystem::path locks = machine_directory / "locks";
  for (const auto& entry : std::filesystem::directory_iterator(locks, error)) {
    std::string file = platform::FromFileSystemPath(entry.path().filename());
    constexpr std::string_view kPrefix = "mutex-";
    constexpr std::string_view kSuffix = ".handles";
    if (file.size() <= kPrefix.size() + kSuffix.size() || file.rfind(kPrefix, 0) != 0 ||
        file.compare(file.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
      continue;
    }
    std::string escaped =
        file.substr(kPrefix.size(), file.size() - kPrefix.size() - kSuffix.size());
    MutexState state;
    state.name = UnescapeName(escaped);
    // Probing takes the guard, so it never makes a creation believe the
    // mutex already exists.
    const std::filesystem::path base = locks / ("mutex-" + escaped);
    LockableFile guard;
    LockableFile handles;
    if (guard.Open(LockFilePath(base, ".guard")) == 0 &&
        handles.Open(entry.path(), LockableFile::Access::kReadOnly) == 0 &&
        guard.TakeLock(Lock::kExclusive, true) == Outcome::kLocked) {
      state.exists = handles.TakeLock(Lock::kExclusive, false) != Outcome::kLocked;
    }
    handles.Close();
    guard.Close();
    LockableFile owner;
    if (owner.Open(LockFilePath(base, ".owner"), LockableFile::Access::kReadOnly) == 0) {
      state.owned = owner.TakeLock(Lock::kExclusive, false) != Outcome::kLocked;
      if (state.owned) state.owner_process = ReadOwnerPid(owner);
    }
    states.push_back(state);
  }
  std::sort(states.begin(), states.end(),
            [](const MutexState& a, const MutexState& b) { return a.name < b.name; });
  return states;
}

}  // namespace skyfw::sim
