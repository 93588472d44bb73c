#include "tests/tools/signing.h"

#include "tests/support/test_data.h"

namespace stowaway::testing {

bool SigningToolsPresent() {
  return RunScript("command -v openssl && command -v osslsigncode\n", ".").status == 0;
}

Outcome Sign(const std::filesystem::path& folder, const std::string& in, const std::string& out) {
  return RunScript("[ -f key.pem ] || openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem "
                   "-days 2 -subj '/CN=stowaway test' 2>/dev/null || exit 1\n"
                   "osslsigncode sign -certs cert.pem -key key.pem -n 'stowaway test' -in " +
                       Quoted(in) + " -out " + Quoted(out) + "\n",
                   folder.string());
}

Outcome VerifySignature(const std::filesystem::path& folder, const std::string& file) {
  return RunScript("osslsigncode verify -CAfile cert.pem -in " + Quoted(file) + "\n", folder.string());
}

std::pair<uint32_t, uint32_t> CertificateDirectoryOf(const std::filesystem::path& file) {
  const Bytes bytes = ReadFileBytes(file);
  const auto load = [&](size_t at) {
    return static_cast<uint32_t>(bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
                                 static_cast<uint32_t>(bytes.at(at + 3)) << 24);
  };
  // The signature's offset at 0x3C; the 32-bit optional header 24 bytes
  // behind it, its fifth data directory at 96 + 4 × 8.
  const size_t entry = load(0x3C) + 24 + 96 + 32;
  return {load(entry), load(entry + 4)};
}

}  // namespace stowaway::testing
