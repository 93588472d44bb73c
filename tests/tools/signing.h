// Signing installers as their authors do, with the real tools: a
// self-signed certificate made by openssl, and osslsigncode.
#pragma once

#include <filesystem>
#include <string>

#include "tests/tools/run_tool.h"

namespace stowaway::testing {

// Whether openssl and osslsigncode can be run.
bool SigningToolsPresent();

// Signs in (below folder) into out with a certificate made once per folder
// (cert.pem and key.pem in it).
Outcome Sign(const std::filesystem::path& folder, const std::string& in, const std::string& out);
// osslsigncode's verdict on a file that Sign signed.
Outcome VerifySignature(const std::filesystem::path& folder, const std::string& file);

// The certificate directory in the header of the 32-bit program file:
// where the table begins and how long it is.
std::pair<uint32_t, uint32_t> CertificateDirectoryOf(const std::filesystem::path& file);

}  // namespace stowaway::testing
