// SHA-1, SEED, RSA, document encryption and number strings for the ydr package, each a thin
// layer over the library's exports.
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "portable/utf16.h"
#include "python/src/binding.h"
#include "ydr/numstr.h"
#include "ydr/rsa.h"
#include "ydr/seed.h"
#include "ydr/sha1.h"
#include "ydr/ven.h"

namespace ydr::python {
namespace {

// Inputs this long are worth releasing the GIL for.
constexpr std::size_t kReleaseAt = 1 << 14;

class Sha1 {
 public:
  Sha1() { YDR_SHA1_Init(&state_); }
  void Update(const py::object &data) {
    const ByteView view(data);
    if (view.size() < kReleaseAt) {
      Feed(view.data(), view.size());
      return;
    }
    py::gil_scoped_release nogil;
    Feed(view.data(), view.size());
  }
  py::bytes Digest() const {
    YDR_SHA1_ALG_INFO done = state_;  // the record may be copied to fork the computation
    unsigned char digest[20];
    YDR_SHA1_Final(&done, digest);
    return py::bytes(reinterpret_cast<const char *>(digest), sizeof digest);
  }
  Sha1 Copy() const { return *this; }

 private:
  void Feed(const std::uint8_t *data, std::size_t size) {
    while (size > 0) {
      const auto n = static_cast<unsigned int>(std::min<std::size_t>(size, 1u << 30));
      YDR_SHA1_Update(&state_, data, n);
      data += n;
      size -= n;
    }
  }
  YDR_SHA1_ALG_INFO state_{};
};

const char *SeedWords(unsigned int code) {
  switch (code) {
    case YDR_SEED_ERR_MODE: return "unknown mode or padding";
    case YDR_SEED_ERR_KEY_LENGTH: return "the key is not 16 bytes";
    case YDR_SEED_ERR_PADDING: return "the padding is not valid (a wrong key, or damaged data)";
    case YDR_SEED_ERR_PARTIAL: return "without padding, the data must be whole 16-byte blocks";
    case YDR_SEED_ERR_CIPHERTEXT: return "the ciphertext is not whole 16-byte blocks";
    default: return "the cipher failed";
  }
}

class SeedContext {
 public:
  SeedContext(const py::bytes &key, unsigned int mode, const py::object &iv, bool padding, bool encrypt)
      : encrypt_(encrypt) {
    const std::string k = key;
    Check(YDR_SEED_KeySchedule(reinterpret_cast<const unsigned char *>(k.data()), static_cast<unsigned int>(k.size()),
                               &state_));
    if (mode < YDR_SEED_MODE_ECB || mode > YDR_SEED_MODE_CFB) throw py::value_error("mode is ECB, CBC, OFB or CFB");
    unsigned char vector[16] = {};
    if (!iv.is_none()) {
      const ByteView v(iv);
      if (v.size() != 16) throw py::value_error("the initial vector is 16 bytes");
      std::memcpy(vector, v.data(), 16);
    }
    YDR_SEED_SetAlgInfo(mode, padding ? YDR_SEED_PAD_PKCS : YDR_SEED_PAD_NONE, vector, &state_);
    Check(encrypt_ ? YDR_SEED_EncInit(&state_) : YDR_SEED_DecInit(&state_));
  }
  py::bytes Update(const py::object &data) {
    if (finished_) throw py::value_error("the cipher context is finalized");
    const ByteView view(data);
    std::string out(view.size() + 32, '\0');
    std::size_t done = 0;
    unsigned int code = YDR_SEED_OK;
    {
      py::gil_scoped_release nogil;
      // The library counts in unsigned ints: larger inputs go in pieces of 1 GiB.
      for (std::size_t at = 0; at < view.size() && code == YDR_SEED_OK;) {
        const auto n = static_cast<unsigned int>(std::min<std::size_t>(view.size() - at, 1u << 30));
        unsigned int written = 0;
        auto *to = reinterpret_cast<unsigned char *>(out.data()) + done;
        code = encrypt_ ? YDR_SEED_EncUpdate(&state_, view.data() + at, n, to, &written)
                        : YDR_SEED_DecUpdate(&state_, view.data() + at, n, to, &written);
        done += written;
        at += n;
      }
    }
    Check(code);
    out.resize(done);
    return py::bytes(out);
  }
  py::bytes Finalize() {
    if (finished_) throw py::value_error("the cipher context is finalized");
    finished_ = true;
    unsigned char out[32];
    unsigned int written = 0;
    Check(encrypt_ ? YDR_SEED_EncFinal(&state_, out, &written) : YDR_SEED_DecFinal(&state_, out, &written));
    return py::bytes(reinterpret_cast<const char *>(out), written);
  }

 private:
  static void Check(unsigned int code) {
    if (code != YDR_SEED_OK) Raise(ErrorKind::kCipherError, SeedWords(code));
  }
  YDR_SEED_ALG_INFO state_{};
  bool encrypt_;
  bool finished_ = false;
};

// One RSA operation: 0 encrypt with the public key, 1 recover with it, 2 sign with the
// private key, 3 decrypt with it. `key` is the Base64 text of a PKCS #1 key.
py::bytes Rsa(int operation, const py::object &data, const std::string &key) {
  using Function = unsigned int (*)(unsigned int, const unsigned char *, unsigned char *, const char *);
  static const Function kFunctions[] = {YDR_RSA_Encrypt_PublicKey, YDR_RSA_Decrypt_PublicKey,
                                        YDR_RSA_Encrypt_PrivateKey, YDR_RSA_Decrypt_PrivateKey};
  if (operation < 0 || operation > 3) throw py::value_error("no such RSA operation");
  const ByteView view(data);
  if (view.size() > 2048) Raise(ErrorKind::kCipherError, "RSA takes at most one modulus of input (2048 bytes here)");
  std::vector<unsigned char> out(2048);  // a 16384-bit modulus
  unsigned int written;
  {
    py::gil_scoped_release nogil;
    written = kFunctions[operation](static_cast<unsigned int>(view.size()), view.data(), out.data(), key.c_str());
  }
  if (written == YDR_RSA_FAILED) {
    Raise(ErrorKind::kCipherError,
          "RSA failed: the key is not of the right kind, the input has the wrong length, the padding does not check "
          "out (a wrong key), or libcrypto could not be loaded");
  }
  return py::bytes(reinterpret_cast<const char *>(out.data()), written);
}

std::u16string Utf16(const py::str &text) {
  const py::object encoded =
      py::reinterpret_steal<py::object>(PyUnicode_AsEncodedString(text.ptr(), "utf-16-le", "strict"));
  if (!encoded) throw py::error_already_set();
  const std::string bytes = encoded.cast<std::string>();
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  return units;
}

py::str FromUtf16(const unsigned short *units) { return py::str(portable::Utf8FromWide(units)); }

// A document encryption key: kinds 1 to 4 (VENCreate), or 0 for the AES-128 ECB object
// keyed by the password's first 8 units (VENLVOCreate).
class VenKey {
 public:
  VenKey(int kind, const py::str &password) : kind_(kind) {
    const std::u16string units = Utf16(password);
    std::vector<unsigned short> text(units.begin(), units.end());
    text.push_back(0);
    if (kind == 0) {
      lvo_ = VENLVOCreate(text.data(), 0);
      if (lvo_ == nullptr) throw py::value_error("this kind of key needs a password of at least 8 characters");
    } else {
      if (kind < 1 || kind > 4) throw py::value_error("the kind is 1, 2, 3 or 4 (or 'lvo')");
      ven_ = VENCreate(text.data(), static_cast<unsigned int>(kind));
      if (ven_ == nullptr) throw std::bad_alloc();
    }
  }
  ~VenKey() {
    if (ven_ != nullptr) VENRelease(ven_);
    if (lvo_ != nullptr) VENLVORelease(lvo_);
  }
  VenKey(const VenKey &) = delete;
  VenKey &operator=(const VenKey &) = delete;

  // Transforms the buffer in place; returns how many bytes were transformed (whole units).
  std::size_t Apply(const py::object &buffer, bool encrypt) {
    const ByteView view(buffer, true);
    const bool aes = kind_ == 0 || kind_ == 4;
    std::size_t length = view.size() - view.size() % 8;
    // AES-backed keys work in 16-byte units and round an odd number of 8-byte units up: the
    // library would then write 8 bytes past the buffer. Such a length is refused instead.
    if (aes && length % 16 != 0) {
      throw py::value_error("this key works in 16-byte units: the buffer's length must be a multiple of 16");
    }
    if (length > static_cast<std::size_t>(INT32_MAX) - 15) throw py::value_error("the buffer is too large");
    {
      py::gil_scoped_release nogil;
      const int n = static_cast<int>(length);
      if (ven_ != nullptr) {
        encrypt ? VENWriteBlock(ven_, view.data(), n) : VENReadBlock(ven_, view.data(), n);
      } else {
        encrypt ? VENLVOWriteBlock(lvo_, view.data(), n) : VENLVOReadBlock(lvo_, view.data(), n);
      }
    }
    return length;
  }

 private:
  int kind_;
  HVEN ven_ = nullptr;
  HVENLVO lvo_ = nullptr;
};

py::str NumString(unsigned int style, int number, const py::object &decoration, bool extend) {
  std::vector<unsigned short> out(64 + (number > 0 ? static_cast<std::size_t>(number) / 1000 : 0), 0);
  unsigned short deco[3] = {0, 0, 0};
  if (!decoration.is_none()) {
    const std::u16string units = Utf16(decoration.cast<py::str>());
    if (units.size() != 3)
      throw py::value_error("decoration is three characters: the repeated symbol, opening, closing");
    for (int i = 0; i < 3; ++i) deco[i] = units[static_cast<std::size_t>(i)];
  }
  YdrMakeNumString(style, number, out.data(), decoration.is_none() ? nullptr : deco, extend ? 1 : 0);
  return FromUtf16(out.data());
}

}  // namespace

void BindCrypto(py::module_ &m) {
  py::class_<Sha1>(m, "Sha1")
      .def(py::init<>())
      .def("update", &Sha1::Update, py::arg("data"))
      .def("digest", &Sha1::Digest)
      .def("copy", &Sha1::Copy);

  py::class_<SeedContext>(m, "SeedContext")
      .def(py::init<const py::bytes &, unsigned int, const py::object &, bool, bool>(), py::arg("key"), py::arg("mode"),
           py::arg("iv"), py::arg("padding"), py::arg("encrypt"))
      .def("update", &SeedContext::Update, py::arg("data"))
      .def("finalize", &SeedContext::Finalize);

  m.def("rsa", &Rsa, py::arg("operation"), py::arg("data"), py::arg("key"));

  py::class_<VenKey>(m, "VenKey")
      .def(py::init<int, const py::str &>(), py::arg("kind"), py::arg("password"))
      .def(
          "encrypt", [](VenKey &key, const py::object &buffer) { return key.Apply(buffer, true); }, py::arg("buffer"))
      .def(
          "decrypt", [](VenKey &key, const py::object &buffer) { return key.Apply(buffer, false); }, py::arg("buffer"));

  m.def("ven_make_password", [](const py::bytes &password) {
    const std::string text = password;
    if (text.find('\0') != std::string::npos) throw py::value_error("the password holds a NUL byte");
    char out[48] = {};
    VENLVZMakePassword(text.c_str(), out);
    return std::string(out);
  });

  m.def("numstr", &NumString, py::arg("style"), py::arg("number"), py::arg("decoration") = py::none(),
        py::arg("extend") = false);
}

}  // namespace ydr::python
