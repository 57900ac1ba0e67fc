#include "tests/e2e/driver/checksum.h"

#include <windows.h>
#include <wincrypt.h>

#include "runtime/core/handles.h"

namespace e2e {
namespace {

struct CryptProviderTraits {
  using Value = HCRYPTPROV;
  static Value Invalid() noexcept { return 0; }
  static void Close(Value value) noexcept { CryptReleaseContext(value, 0); }
};
struct CryptHashTraits {
  using Value = HCRYPTHASH;
  static Value Invalid() noexcept { return 0; }
  static void Close(Value value) noexcept { CryptDestroyHash(value); }
};

}  // namespace

std::optional<std::string> Sha256Hex(std::string_view bytes) {
  HCRYPTPROV rawProvider = 0;
  if (!CryptAcquireContextW(&rawProvider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    return std::nullopt;
  }
  UniqueResource<CryptProviderTraits> provider(rawProvider);
  HCRYPTHASH rawHash = 0;
  if (!CryptCreateHash(provider.Get(), CALG_SHA_256, 0, 0, &rawHash)) return std::nullopt;
  UniqueResource<CryptHashTraits> hash(rawHash);
  // CryptHashData takes a DWORD length: feed large inputs in parts.
  constexpr size_t kPart = 1 << 20;
  for (size_t offset = 0; offset < bytes.size(); offset += kPart) {
    const size_t length = bytes.size() - offset < kPart ? bytes.size() - offset : kPart;
    if (!CryptHashData(hash.Get(), reinterpret_cast<const BYTE*>(bytes.data() + offset),
                       static_cast<DWORD>(length), 0)) {
      return std::nullopt;
    }
  }
  BYTE digest[32];
  DWORD size = sizeof digest;
  if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, &size, 0) || size != sizeof digest)
    return std::nullopt;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (BYTE value : digest) {
    text.push_back(kHex[value >> 4]);
    text.push_back(kHex[value & 15]);
  }
  return text;
}

}  // namespace e2e
