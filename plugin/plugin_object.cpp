// The defaults of the plug-in object base and its raw-data exchange.
#include <cstdlib>
#include <cstring>
#include <string>

#include "portable/guarded_call.h"
#include "ydr/plugin.h"

CYdrPluginObject::CYdrPluginObject() : active_(0), owner_(nullptr), raw_data_(nullptr) {}

CYdrPluginObject::CYdrPluginObject(const CYdrPluginObject &other)
    : IYdrPluginObject(other), active_(other.active_), owner_(other.owner_), raw_data_(nullptr) {}

CYdrPluginObject &CYdrPluginObject::operator=(const CYdrPluginObject &other) {
  if (this != &other) {
    active_ = other.active_;
    owner_ = other.owner_;
    std::free(raw_data_);
    raw_data_ = nullptr;
  }
  return *this;
}

CYdrPluginObject::~CYdrPluginObject() { std::free(raw_data_); }

void CYdrPluginObject::DrawProc(HDC dc, const RECT &rect) { OnDraw(dc, rect); }

int CYdrPluginObject::MessageProc(unsigned int message, unsigned int wParam, long lParam) {
  return ProcessMessage(message, wParam, lParam);
}

void CYdrPluginObject::SetActive(int active) { active_ = active; }

void CYdrPluginObject::SetOwner(IYdrPluginOwner *owner) { owner_ = owner; }

HWND CYdrPluginObject::GetHWND() { return owner_ != nullptr ? owner_->GetHWND() : nullptr; }

void *CYdrPluginObject::GetRawData(unsigned int &size) {
  std::free(raw_data_);  // the previous block ends here, whatever follows
  raw_data_ = nullptr;
  // The state comes from the host's Serialize: whatever it throws, and running out of memory,
  // give the failure result, null.
  return ydr::portable::GuardedCall(static_cast<void *>(nullptr), [&]() -> void * {
    CYdrPluginStream stream;
    if (Serialize(stream, 1) == 0) return nullptr;
    const std::string bytes = stream.str();
    // Never a null block for an empty state: null means failure.
    void *block = std::malloc(bytes.empty() ? 1 : bytes.size());
    if (block == nullptr) return nullptr;
    std::memcpy(block, bytes.data(), bytes.size());  // NOLINT(bugprone-not-null-terminated-result): bytes, not text
    raw_data_ = block;
    size = static_cast<unsigned int>(bytes.size());
    return block;
  });
}

void CYdrPluginObject::SetRawData(void *data, unsigned int size) {
  if (data == nullptr && size != 0) return;
  ydr::portable::GuardedCall([&] {
    CYdrPluginStream stream(std::string(static_cast<const char *>(data), size), std::ios::in | std::ios::out);
    Serialize(stream, 0);
  });
}

int CYdrPluginObject::Serialize(CYdrPluginStream & /*stream*/, int /*storing*/) { return 0; }

void CYdrPluginObject::OnDraw(HDC /*dc*/, const RECT & /*rect*/) {}

int CYdrPluginObject::ProcessMessage(unsigned int /*message*/, unsigned int /*wParam*/, long /*lParam*/) { return 0; }
