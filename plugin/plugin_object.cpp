// The defaults of the plug-in object base and its raw-data exchange.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/guarded_call.h"
#include "ydr/plugin.h"

CYdrPluginObject::CYdrPluginObject() : m_active(0), m_owner(nullptr), m_rawData(nullptr) {}

CYdrPluginObject::CYdrPluginObject(const CYdrPluginObject &other)
    : IYdrPluginObject(other), m_active(other.m_active), m_owner(other.m_owner), m_rawData(nullptr) {}

CYdrPluginObject &CYdrPluginObject::operator=(const CYdrPluginObject &other) {
  if (this != &other) {
    m_active = other.m_active;
    m_owner = other.m_owner;
    std::free(m_rawData);
    m_rawData = nullptr;
  }
  return *this;
}

CYdrPluginObject::~CYdrPluginObject() { std::free(m_rawData); }

void CYdrPluginObject::DrawProc(HDC dc, const RECT &rect) { OnDraw(dc, rect); }

int CYdrPluginObject::MessageProc(unsigned int message, unsigned int wParam, long lParam) {
  return ProcessMessage(message, wParam, lParam);
}

void CYdrPluginObject::SetActive(int active) { m_active = active; }

void CYdrPluginObject::SetOwner(IYdrPluginOwner *owner) { m_owner = owner; }

HWND CYdrPluginObject::GetHWND() { return m_owner != nullptr ? m_owner->GetHWND() : nullptr; }

void *CYdrPluginObject::GetRawData(unsigned int &size) {
  std::free(m_rawData);  // the previous block ends here, whatever follows
  m_rawData = nullptr;
  // The state comes from the host's Serialize: whatever it throws, and running out of memory,
  // give the failure result, null.
  return ydr::platform::GuardedCall(static_cast<void *>(nullptr), [&]() -> void * {
    CYdrPluginStream stream;
    if (Serialize(stream, 1) == 0) return nullptr;
    const std::string bytes = stream.str();
    // Never a null block for an empty state: null means failure.
    void *block = std::malloc(bytes.empty() ? 1 : bytes.size());
    if (block == nullptr) return nullptr;
    std::memcpy(block, bytes.data(), bytes.size());  // NOLINT(bugprone-not-null-terminated-result): bytes, not text
    m_rawData = block;
    size = static_cast<unsigned int>(bytes.size());
    return block;
  });
}

void CYdrPluginObject::SetRawData(void *data, unsigned int size) {
  if (data == nullptr && size != 0) return;
  ydr::platform::GuardedCall([&] {
    CYdrPluginStream stream(std::string(static_cast<const char *>(data), size), std::ios::in | std::ios::out);
    Serialize(stream, 0);
  });
}

int CYdrPluginObject::Serialize(CYdrPluginStream & /*stream*/, int /*storing*/) { return 0; }

void CYdrPluginObject::OnDraw(HDC /*dc*/, const RECT & /*rect*/) {}

int CYdrPluginObject::ProcessMessage(unsigned int /*message*/, unsigned int /*wParam*/, long /*lParam*/) { return 0; }
