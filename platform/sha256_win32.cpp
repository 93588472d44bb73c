#include <windows.h>
#include <bcrypt.h>

#include <string>
#include <vector>

#include "platform/sha256.h"

namespace stowaway {
namespace {

// bcrypt.dll is loaded by its full path in the system folder rather than
// imported: an import would be looked up beside the program first, and an
// installer usually runs from a downloads folder that anyone can put a DLL
// into. The programs stay linked statically, with no import library.
struct Bcrypt {
  decltype(&::BCryptOpenAlgorithmProvider) OpenAlgorithmProvider = nullptr;
  decltype(&::BCryptGetProperty) GetProperty = nullptr;
  decltype(&::BCryptCreateHash) CreateHash = nullptr;
  decltype(&::BCryptHashData) HashData = nullptr;
  decltype(&::BCryptFinishHash) FinishHash = nullptr;
  decltype(&::BCryptDestroyHash) DestroyHash = nullptr;
  BCRYPT_ALG_HANDLE Algorithm = nullptr;
  DWORD ObjectLength = 0;
  std::string Problem;  // empty when everything above is usable
};

template <typename Function>
bool Find(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return function != nullptr;
}

Bcrypt Load() {
  Bcrypt library;
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    library.Problem = "the system folder is unknown";
    return library;
  }
  const HMODULE module = ::LoadLibraryW((std::wstring(folder, length) + L"\\bcrypt.dll").c_str());
  if (module == nullptr) {
    library.Problem = "bcrypt.dll cannot be loaded";
    return library;
  }
  if (!Find(module, "BCryptOpenAlgorithmProvider", library.OpenAlgorithmProvider) ||
      !Find(module, "BCryptGetProperty", library.GetProperty) ||
      !Find(module, "BCryptCreateHash", library.CreateHash) ||
      !Find(module, "BCryptHashData", library.HashData) ||
      !Find(module, "BCryptFinishHash", library.FinishHash) ||
      !Find(module, "BCryptDestroyHash", library.DestroyHash)) {
    library.Problem = "bcrypt.dll lacks the hash functions";
    return library;
  }
  ULONG got = 0;
  if (library.OpenAlgorithmProvider(&library.Algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0 ||
      library.GetProperty(library.Algorithm, BCRYPT_OBJECT_LENGTH,
                          reinterpret_cast<PUCHAR>(&library.ObjectLength), sizeof library.ObjectLength,
                          &got, 0) != 0) {
    library.Problem = "bcrypt.dll does not provide SHA-256";
  }
  return library;
}

// Loaded once, on first use, for the life of the process.
const Bcrypt& Library() {
  static const Bcrypt library = Load();
  if (!library.Problem.empty()) throw EHashError("SHA-256 is not available: " + library.Problem);
  return library;
}

}  // namespace

struct Sha256::State {
  std::vector<UCHAR> Object;
  BCRYPT_HASH_HANDLE Hash = nullptr;

  void Start() {
    const Bcrypt& library = Library();
    Object.assign(library.ObjectLength, 0);
    if (library.CreateHash(library.Algorithm, &Hash, Object.data(), static_cast<ULONG>(Object.size()),
                           nullptr, 0, 0) != 0) {
      Hash = nullptr;
      throw EHashError("SHA-256 is not available: BCryptCreateHash failed");
    }
  }
  void Stop() {
    if (Hash != nullptr) Library().DestroyHash(Hash);
    Hash = nullptr;
  }
  ~State() { Stop(); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) { state_->Start(); }

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) {
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (size > 0) {
    const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    if (Library().HashData(state_->Hash, bytes, piece, 0) != 0) {
      throw EHashError("SHA-256 is not available: BCryptHashData failed");
    }
    bytes += piece;
    size -= piece;
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  const Bcrypt& library = Library();
  if (library.FinishHash(state_->Hash, digest.data(), static_cast<ULONG>(digest.size()), 0) != 0) {
    throw EHashError("SHA-256 is not available: BCryptFinishHash failed");
  }
  // A finished hash object cannot be used again.
  state_->Stop();
  state_->Start();
  return digest;
}

}  // namespace stowaway
