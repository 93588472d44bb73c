// Installers after packing: signed with the real signing tools, damaged in
// ways only the hashes catch, and carrying names a terminal would act on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "archive/directory.h"
#include "tests/archive/archive_builder.h"
#include "tests/tools/signing.h"
#include "tests/tools/tool_fixture.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Outcome;
using ::testing::HasSubstr;
using ::testing::Not;

class AfterPacking : public testing::ToolTest {
 protected:
  // installer.exe of the payload, behind stub.
  void PackPayload(const Bytes& with_stub) {
    Put("stub.exe", with_stub);
    Put("payload/readme.txt", readme);
    Put("payload/empty.dat", {});
    Put("payload/lib/data.bin", data);
    const Outcome packed = Pack("installer.exe", {"payload"});
    ASSERT_EQ(packed.status, 0) << packed.err;
  }
  std::string Replaced(std::string text, const std::string& from, const std::string& to) const {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
    return text;
  }

  const Bytes readme = testing::TextLike(30000, 61);
  const Bytes data = testing::BinaryLike(120000, 62);
};

class SignedInstaller : public AfterPacking {
 protected:
  void SetUp() override {
    if (!testing::SigningToolsPresent()) GTEST_SKIP() << "needs openssl and osslsigncode";
    // A real program to sign: the unpacker when the Windows tree is built,
    // else one of Wine's.
    for (const fs::path& program : {fs::path(STOWAWAY_WINDOWS_TREE) / "bin" / "unpacker.exe",
                                   fs::path("/usr/lib/i386-linux-gnu/wine/i386-windows/hostname.exe")}) {
      if (!program.parent_path().empty() && fs::exists(program)) {
        stub_program = testing::ReadFileBytes(program);
        return;
      }
    }
    GTEST_SKIP() << "needs a Windows program to sign";
  }

  Bytes stub_program;
};

TEST_F(SignedInstaller, ReadsExactlyAsBeforeSigning) {
  PackPayload(stub_program);
  const auto size = static_cast<uint32_t>(fs::file_size(At("installer.exe")));
  EXPECT_EQ(size % 8, 0u) << "signing needs no padding";
  const Outcome signing = testing::Sign(dir.Path(), "installer.exe", "signed.exe");
  ASSERT_EQ(signing.status, 0) << signing.out << signing.err;
  const Outcome verified = testing::VerifySignature(dir.Path(), "signed.exe");
  EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
  EXPECT_THAT(verified.out, HasSubstr("Signature verification: ok"));
  // The table follows the archive directly.
  const auto [offset, length] = testing::CertificateDirectoryOf(At("signed.exe"));
  EXPECT_EQ(offset, size);
  EXPECT_EQ(fs::file_size(At("signed.exe")), uintmax_t{offset} + length);

  for (const std::vector<std::string>& command : {std::vector<std::string>{"list"}, {"list", "--json"}, {"test"}}) {
    std::vector<std::string> before = command;
    before.push_back("installer.exe");
    std::vector<std::string> after = command;
    after.push_back("signed.exe");
    const Outcome unsigned_run = Run(before);
    const Outcome signed_run = Run(after);
    EXPECT_EQ(signed_run.status, 0) << signed_run.err;
    EXPECT_EQ(signed_run.out, Replaced(unsigned_run.out, "installer.exe", "signed.exe"));
    EXPECT_EQ(signed_run.err, "");
  }
  ASSERT_EQ(Run({"extract", "-C", "before", "installer.exe"}).status, 0);
  ASSERT_EQ(Run({"extract", "-C", "after", "signed.exe"}).status, 0);
  EXPECT_EQ(Listing("after"), (std::vector<std::string>{"data.bin", "empty.dat", "readme.txt", "setup.exe"}));
  for (const std::string& name : Listing("before")) EXPECT_EQ(Read("after/" + name), Read("before/" + name)) << name;
  EXPECT_EQ(Read("after/data.bin"), data);

  // A certificate directory that points past the end is refused, plainly.
  Bytes hostile = Read("signed.exe");
  const size_t entry = static_cast<size_t>(hostile[0x3C] | hostile[0x3D] << 8) + 24 + 96 + 32;
  hostile[entry + 3] = 0x7F;
  Put("hostile.exe", hostile);
  const Outcome refused = Run({"list", "hostile.exe"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "stowaway list: hostile.exe: not a stowaway installer, or one damaged after signing: its "
                         "certificate directory is malformed: its table of " + std::to_string(length) +
                             " bytes at offset " + std::to_string(offset + 0x7F000000u) +
                             " reaches past the end of the file (" + std::to_string(offset + length) + " bytes)\n");
  EXPECT_EQ(refused.out, "");
}

TEST_F(AfterPacking, DamageThatKeepsTheSizesIsCaughtByTheHashes) {
  PackPayload(stub);
  const std::vector<ArchiveDirectoryEntry> directory = ReadDirectory(At("installer.exe").string());
  ASSERT_EQ(directory[2].FileName, "data.bin");
  const ArchiveDirectoryEntry& entry = directory[2];
  Bytes installer = Read("installer.exe");
  ASSERT_TRUE(testing::DamageQuietly(installer, entry.StartOffset, entry.EndOffset));
  Put("installer.exe", installer);

  const std::string failure = ": installer.exe: entry 2 (data.bin) cannot be unpacked: its content does not "
                              "match its SHA-256 hash; the installer is damaged\n";
  const Outcome tested = Run({"test", "installer.exe"});
  EXPECT_EQ(tested.status, 1);
  EXPECT_EQ(tested.err, "stowaway test" + failure);
  const Outcome extracted = Run({"extract", "-C", "out", "installer.exe"});
  EXPECT_EQ(extracted.status, 1);
  EXPECT_EQ(extracted.err, "stowaway extract" + failure);
  EXPECT_EQ(Listing("out"), (std::vector<std::string>{"empty.dat", "setup.exe"}));

  // An altered record: refused before anything is written.
  installer[installer.size() - 4 - 428 * 2 + 25] ^= 0x20;
  Put("installer.exe", installer);
  for (const std::string command : {"list", "test", "extract"}) {
    const Outcome refused = Run({command, "-C", "out2", "installer.exe"});
    EXPECT_EQ(refused.status, command == "extract" ? 1 : 2);
  }
  const Outcome listed = Run({"list", "installer.exe"});
  EXPECT_EQ(listed.status, 1);
  EXPECT_EQ(listed.err, "stowaway list: installer.exe: the installer is damaged: its records do not match their "
                        "SHA-256 hash; download or build it again\n");
  EXPECT_EQ(listed.out, "");
  EXPECT_FALSE(Exists("out2"));
}

TEST_F(AfterPacking, WithoutHashesOnlySizesAreCheckedAndItIsSaidOnce) {
  testing::ArchiveBuilder archive(stub);
  archive.AddFile(readme, "readme.txt").AddFile(data, "data.bin");
  Put("old.exe", archive.Build());
  const std::string note = "note: old.exe carries no content hashes (packed before stowaway wrote them, or by "
                           "another tool); only sizes can be checked\n";
  const Outcome tested = Run({"test", "old.exe"});
  EXPECT_EQ(tested.status, 0) << tested.err;
  EXPECT_EQ(tested.err, "stowaway test: " + note);
  EXPECT_EQ(tested.out, "old.exe: OK, 2 entries, 150000 bytes unpacked\n");
  const Outcome extracted = Run({"extract", "-C", "out", "old.exe"});
  EXPECT_EQ(extracted.err, "stowaway extract: " + note);
  EXPECT_EQ(Read("out/data.bin"), data);
  EXPECT_EQ(Run({"test", "-q", "old.exe"}).err, "");
  const Outcome listed = Run({"list", "old.exe"});
  EXPECT_THAT(listed.out, HasSubstr("\nContent hashes: none; only sizes can be checked\n"));
  const Outcome json = Run({"list", "--json", "old.exe"});
  EXPECT_THAT(json.out, HasSubstr("\"sha256\": null}"));
  EXPECT_THAT(json.out, HasSubstr("\"hashes\": false,"));
}

TEST_F(AfterPacking, NamesReachTheTerminalEscaped) {
  // Another producer's installer: the writer refuses such names.
  testing::ArchiveBuilder archive(stub);
  archive.AddFile(readme, "\x1b[2Jcleared.txt").AddFile(data, "odd\x81\x7f.bin");
  Put("odd.exe", archive.Build());
  const Outcome listed = Run({"list", "odd.exe"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_THAT(listed.out, Not(HasSubstr("\x1b")));
  EXPECT_THAT(listed.out, HasSubstr("  \\x1b[2Jcleared.txt  "));
  EXPECT_THAT(listed.out, HasSubstr("  odd\\xc2\\x81\\x7f.bin  "));
  const Outcome json = Run({"list", "--json", "odd.exe"});
  EXPECT_THAT(json.out, HasSubstr("\"name\": \"\\u001b[2Jcleared.txt\""));
  EXPECT_THAT(json.out, HasSubstr("\"name\": \"odd\\u0081\\u007f.bin\""));

  for (const std::string command : {"test", "extract"}) {
    const Outcome refused = Run({command, "odd.exe"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("entry 0 (\\x1b[2Jcleared.txt) has a name that Windows does not allow: "));
    EXPECT_THAT(refused.err, Not(HasSubstr("\x1b")));
  }
  // The names people type reach the messages escaped too.
  const Outcome missing = Run({"list", "title\x1b]0;owned\x07.exe"});
  EXPECT_EQ(missing.err,
            "stowaway list: title\\x1b]0;owned\\x07.exe: cannot be opened: No such file or directory\n");
}

}  // namespace
}  // namespace stowaway
