// The base of objects that a host embeds in its documents and plug-ins implement (C++ only).
//
// The host drives an object through IYdrPluginObject: drawing, window messages, activation,
// its owner, and its state as a block of bytes. CYdrPluginObject supplies the defaults, so a
// derived object overrides only Serialize, OnDraw and ProcessMessage:
//
//   class Clock : public CYdrPluginObject {
//    protected:
//     int Serialize(CYdrPluginStream &stream, int storing) override {
//       if (storing) stream << hours_ << ' ' << minutes_;
//       else stream >> hours_ >> minutes_;
//       return !stream.fail();
//     }
//     void OnDraw(HDC dc, const RECT &rect) override { ... }
//   };
//
// GetRawData hands out the bytes Serialize wrote (a buffer the object owns, valid until the
// next GetRawData or its destruction); SetRawData gives Serialize a stream that reads exactly
// the bytes given. The order of the virtual operations is fixed: hosts call through it.
// A Serialize that throws makes GetRawData give null and SetRawData stop; except in a 32-bit
// Windows host, where an exception cannot be unwound through the DLL's frames and ends the
// host: overrides there must not throw.
#ifndef YDR_PLUGIN_H
#define YDR_PLUGIN_H

#ifdef __cplusplus

#include <sstream>
#include <string>

#include "ydr/api.h"
#include "ydr/platform_types.h"

// Implemented by the host; the base class uses only the first operation.
class IYdrPluginOwner {
 public:
  virtual HWND GetHWND() = 0;  // the window in which the object lives
};

// The stream handed to Serialize: a string stream of 8-bit characters, nothing added.
template <class C, class T, class A>
class CYdrPluginStreamT : public std::basic_stringstream<C, T, A> {
 public:
  using std::basic_stringstream<C, T, A>::basic_stringstream;
};

using CYdrPluginStream = CYdrPluginStreamT<char, std::char_traits<char>, std::allocator<char>>;

// The host's view of an object: exactly these seven operations, in this order.
class YDR_API IYdrPluginObject {
 public:
  virtual void DrawProc(HDC dc, const RECT &rect) = 0;
  virtual int MessageProc(unsigned int message, unsigned int wParam, long lParam) = 0;
  virtual void SetActive(int active) = 0;
  virtual void SetOwner(IYdrPluginOwner *owner) = 0;
  virtual HWND GetHWND() = 0;
  virtual void *GetRawData(unsigned int &size) = 0;
  virtual void SetRawData(void *data, unsigned int size) = 0;
};

class YDR_API CYdrPluginObject : public IYdrPluginObject {
 public:
  CYdrPluginObject();
  // A copy takes the active flag and the owner, but no raw-data buffer: that belongs to
  // one object only. Assignment frees the target's own buffer.
  CYdrPluginObject(const CYdrPluginObject &other);
  CYdrPluginObject &operator=(const CYdrPluginObject &other);

  void DrawProc(HDC dc, const RECT &rect) override;                                  // calls OnDraw
  int MessageProc(unsigned int message, unsigned int wParam, long lParam) override;  // ProcessMessage's result
  void SetActive(int active) override;
  void SetOwner(IYdrPluginOwner *owner) override;  // not owned
  HWND GetHWND() override;                         // the owner's window; null without an owner
  // The state Serialize writes, or null when it reports failure (size then unchanged).
  void *GetRawData(unsigned int &size) override;
  void SetRawData(void *data, unsigned int size) override;
  virtual ~CYdrPluginObject();

 protected:
  // storing 1: write the state into stream; 0: read it. Non-zero on success. The default
  // saves nothing and reports failure.
  virtual int Serialize(CYdrPluginStream &stream, int storing);
  virtual void OnDraw(HDC dc, const RECT &rect);                                       // draws nothing
  virtual int ProcessMessage(unsigned int message, unsigned int wParam, long lParam);  // 0: not handled

 private:
  int active_;
  IYdrPluginOwner *owner_;
  void *raw_data_;  // from malloc; owned
};

#endif /* __cplusplus */

#endif /* YDR_PLUGIN_H */
