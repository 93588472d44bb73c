#include <openssl/evp.h>

#include "platform/sha256.h"

namespace stowaway {

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
  ~State() { EVP_MD_CTX_free(context); }
};

namespace {

[[noreturn]] void Unavailable(const char* step) {
  throw EHashError(std::string("SHA-256 is not available: libcrypto's ") + step + " failed");
}

void Start(EVP_MD_CTX* context) {
  if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) Unavailable("EVP_DigestInit_ex");
}

}  // namespace

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->context = EVP_MD_CTX_new();
  if (state_->context == nullptr) Unavailable("EVP_MD_CTX_new");
  Start(state_->context);
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) {
  if (size == 0) return;
  if (EVP_DigestUpdate(state_->context, data, size) != 1) Unavailable("EVP_DigestUpdate");
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1 || length != Sha256Size) {
    Unavailable("EVP_DigestFinal_ex");
  }
  Start(state_->context);
  return digest;
}

}  // namespace stowaway
