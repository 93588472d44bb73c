// SHA-256 through the platform's library: known answers from FIPS 180-2's
// examples, in pieces of every size and after a Finish.
#include <gtest/gtest.h>

#include <string>

#include "platform/sha256.h"
#include "tests/support/test_data.h"

namespace stowaway {
namespace {

std::string Hex(const Sha256Digest& digest) { return testing::ToHex(digest.data(), digest.size()); }

TEST(Sha256, GivesTheStandardsKnownAnswers) {
  EXPECT_EQ(Hex(Sha256::Of("", 0)), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Hex(Sha256::Of("abc", 3)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string expected = "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
  for (size_t piece = 1; piece <= two_blocks.size(); piece += 7) {
    Sha256 hash;
    for (size_t at = 0; at < two_blocks.size(); at += piece) {
      hash.Update(two_blocks.data() + at, std::min(piece, two_blocks.size() - at));
    }
    EXPECT_EQ(Hex(hash.Finish()), expected) << "pieces of " << piece;
  }

  // A finished hash starts afresh; a million 'a' is the standard's long example.
  Sha256 hash;
  hash.Update("x", 1);
  hash.Finish();
  const std::string thousand(1000, 'a');
  for (int i = 0; i < 1000; ++i) hash.Update(thousand.data(), thousand.size());
  EXPECT_EQ(Hex(hash.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace stowaway
