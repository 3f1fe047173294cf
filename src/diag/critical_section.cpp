#include "diag/critical_section.h"

#include "diag/trace_log.h"

namespace skyfw {

void CSyncObject::Dump(const char* prefix) const {
  TraceInfo("%s::%s", prefix, "CSyncObject");
  TraceInfo("%s at address[%p - 0x%x]\r\n", "CSyncObject", static_cast<const void*>(this),
            static_cast<unsigned>(sizeof(CSyncObject)));
  TraceInfo("%s.%s(%u) at address[%p - 0x%x].\r\n", "CSyncObject", "m_hObject",
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_hObject)),
            static_cast<const void*>(&m_hObject), static_cast<unsigned>(sizeof(m_hObject)));
}

bool CSyncObject::IsLocked() {
  if (Lock(0)) {
    Unlock();
    return false;
  }
  return true;
}

bool NMCCriticalSection::Lock(uint32_t /*timeout*/) {
  m_sect.lock();
  return true;
}

bool NMCCriticalSection::Unlock() {
  m_sect.unlock();
  return true;
}

void NMCCriticalSection::Dump(const char* prefix) const {
  TraceInfo("%s::%s", prefix, "NMCCriticalSection");
  TraceInfo("%s at address[%p - 0x%x]\r\n", "NMCCriticalSection", static_cast<const void*>(this),
            static_cast<unsigned>(sizeof(NMCCriticalSection)));
  CSyncObject::Dump(prefix);
  TraceInfo("%s.%s at address[%p - 0x%x].\r\n", "NMCCriticalSection", "m_sect",
            static_cast<const void*>(&m_sect), static_cast<unsigned>(sizeof(m_sect)));
}

}  // namespace skyfw
