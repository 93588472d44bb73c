// Archives behind a certificate table, as signing leaves them, hostile
// certificate directories, and the integrity block that catches damage the
// sizes cannot.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/directory.h"
#include "archive/packerunit.h"
#include "archive/errors.h"
#include "archive/integrity.h"
#include "archive/writer.h"
#include "tests/archive/archive_builder.h"
#include "tests/support/faults.h"

namespace stowaway {
namespace {

namespace fs = std::filesystem;
using testing::ArchiveBuilder;
using testing::Bytes;
using testing::FailureOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Where a 32-bit program's header keeps the certificate directory when its
// "PE\0\0" lies at 64: 64 + 24 + 96 + 4 × 8.
constexpr size_t CertificateEntryAt = 216;

// The headers of a 32-bit Windows program with 16 data directories, all
// empty, and nothing else: 512 bytes.
Bytes ProgramImage(uint16_t magic = 0x10B, uint32_t directories = 16) {
  Bytes image(512, 0);
  image[0] = 'M';
  image[1] = 'Z';
  testing::PutLE32(image, 0x3C, 64);
  image[64] = 'P';
  image[65] = 'E';
  image[64 + 20] = 224;  // size of the optional header
  image[88] = static_cast<uint8_t>(magic);
  image[89] = static_cast<uint8_t>(magic >> 8);
  testing::PutLE32(image, 88 + (magic == 0x20B ? 108 : 92), directories);
  return image;
}

void PointCertificateDirectory(Bytes& file, int64_t offset, int64_t size) {
  testing::PutLE32(file, CertificateEntryAt, offset);
  testing::PutLE32(file, CertificateEntryAt + 4, size);
}

// What signing does to file: zero padding to a multiple of 8, one
// certificate of body_size bytes (rounded up to 8 in the table), and the
// certificate directory pointing at it.
Bytes Signed(Bytes file, size_t body_size = 1500) {
  file.resize((file.size() + 7) / 8 * 8, 0);
  const size_t offset = file.size();
  const size_t length = 8 + body_size;
  Bytes certificate((length + 7) / 8 * 8, 0x30);
  testing::PutLE32(certificate, 0, static_cast<int64_t>(length));
  certificate[4] = 0x00;
  certificate[5] = 0x02;  // revision 2.0
  certificate[6] = 0x02;  // signed data
  certificate[7] = 0x00;
  file.insert(file.end(), certificate.begin(), certificate.end());
  PointCertificateDirectory(file, static_cast<int64_t>(offset), static_cast<int64_t>(certificate.size()));
  return file;
}

class SignedArchive : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes) {
    const std::string path = dir.File("setup" + std::to_string(++written) + ".exe");
    testing::WriteFileBytes(path, bytes);
    return path;
  }
  // The writer's archive of items behind image.
  Bytes Packed(const Bytes& image, const std::vector<ArchiveItem>& entries) {
    TMemoryStream out;
    WriteArchive(out, ByteSource::Memory(image), entries, ArchiveLayout::FileNames);
    return out.Data();
  }
  ArchiveIndex Index(const Bytes& bytes) {
    TMemoryStream stream(bytes);
    return ReadArchiveIndex(stream, "setup.exe");
  }
  std::string Refusal(const Bytes& bytes) {
    return FailureOf([&] { Index(bytes); });
  }

  testing::TempDir dir;
  int written = 0;
  const Bytes text = testing::TextLike(20000, 5);
  const std::vector<ArchiveItem> items = {{"setup.exe", "", ByteSource::Memory(testing::BinaryLike(3000, 6))},
                                          {"a.txt", "", ByteSource::Memory(text)}};
};

TEST_F(SignedArchive, IsFoundInFrontOfTheCertificateTable) {
  const Bytes unsigned_file = Packed(ProgramImage(), items);
  ASSERT_EQ(unsigned_file.size() % 8, 0u) << "signing needs no padding";
  const Bytes signed_file = Signed(unsigned_file);
  const ArchiveIndex before = Index(unsigned_file);
  const ArchiveIndex after = Index(signed_file);
  EXPECT_EQ(after.End, static_cast<int64_t>(unsigned_file.size()));
  ASSERT_EQ(after.Entries.size(), 2u);
  EXPECT_EQ(after.Entries[1].FileName, "a.txt");
  EXPECT_EQ(after.Hashes, before.Hashes);
  EXPECT_EQ(after.Hashes[1], Sha256::Of(text.data(), text.size()));

  const std::string path = Write(signed_file);
  const std::string dest = dir.File("dest");
  fs::create_directory(dest);
  ASSERT_TRUE(ExtractAllEntries(path, dest, nullptr, false));
  EXPECT_EQ(testing::ReadFileBytes(fs::path(dest) / "a.txt"), text);

  // The same for the 64-bit header's layout, whose directories lie 16
  // bytes further on.
  Bytes wide = Packed(ProgramImage(0x20B), items);
  const Bytes wide_signed = Signed(wide);
  Bytes moved = wide_signed;
  PointCertificateDirectory(moved, 0, 0);
  testing::PutLE32(moved, CertificateEntryAt + 16, static_cast<int64_t>(wide.size()));
  testing::PutLE32(moved, CertificateEntryAt + 20, static_cast<int64_t>(wide_signed.size() - wide.size()));
  EXPECT_EQ(Index(moved).End, static_cast<int64_t>(wide.size()));
}

TEST_F(SignedArchive, SigningsPaddingIsToldFromTheZeroBytesOfTheCount) {
  // Archives of other producers need not end on a multiple of 8: signing
  // pads them, and a count such as 1 ends in zero bytes of its own.
  const auto archive = [](const Bytes& image, int entries) {
    ArchiveBuilder builder(image);
    for (int i = 0; i < entries; ++i) builder.AddFile({static_cast<uint8_t>(i)}, std::to_string(i) + ".dat");
    return builder.Build();
  };
  for (const int entries : {1, 2, 256, 300}) {
    for (size_t short_of = 0; short_of < 8; ++short_of) {
      Bytes image = ProgramImage();
      image.resize(image.size() + (8 - (archive(image, entries).size() + short_of) % 8) % 8, 'x');
      const Bytes file = archive(image, entries);
      ASSERT_EQ((file.size() + short_of) % 8, 0u);
      const ArchiveIndex index = Index(Signed(file));
      EXPECT_EQ(index.End, static_cast<int64_t>(file.size())) << entries << " entries, " << short_of << " bytes short";
      EXPECT_EQ(index.Entries.size(), static_cast<size_t>(entries));
      EXPECT_FALSE(index.HasHashes());
    }
  }
}

TEST_F(SignedArchive, FilesWithoutATableReadAsBefore) {
  const Bytes program = Packed(ProgramImage(), items);
  Bytes no_directory = Packed(ProgramImage(0x10B, 4), items);
  Bytes unknown_header = Packed(ProgramImage(0x107), items);
  Bytes no_signature = program;
  no_signature[64] = 'N';
  for (const Bytes& file : {program, no_directory, unknown_header, no_signature, Packed(testing::ToBytes("MZ"), items),
                            Packed({}, items)}) {
    EXPECT_EQ(Index(file).End, static_cast<int64_t>(file.size()));
  }
  // Junk where the certificate directory would be, in a file that is no
  // program, changes nothing either.
  Bytes not_a_program = Packed(testing::RandomBytes(512, 7), items);
  not_a_program[0] = 'X';
  PointCertificateDirectory(not_a_program, 8, 8);
  EXPECT_EQ(Index(not_a_program).Entries.size(), 2u);

  // A table inside the program image, ahead of the archive, is the image's.
  Bytes image = ProgramImage();
  image.resize(1024, 0x30);
  testing::PutLE32(image, 512, 512);
  testing::PutLE32(image, 516, 0x00020200);  // revision 2.0, signed data
  PointCertificateDirectory(image, 512, 512);
  const Bytes stub_signed = Packed(image, items);
  EXPECT_EQ(Index(stub_signed).End, static_cast<int64_t>(stub_signed.size()));
}

TEST_F(SignedArchive, HostileCertificateDirectoriesAreRefusedClearly) {
  const Bytes file = Signed(Packed(ProgramImage(), items));
  const auto size = static_cast<int64_t>(file.size());
  const ArchiveIndex index = Index(file);
  const int64_t table = index.End;
  const std::string prefix = "EUnreadableArchive: Malformed certificate directory in setup.exe: ";
  struct Case {
    int64_t offset;
    int64_t size;
    std::string reason;
  };
  const int64_t records = index.FirstRecord / 8 * 8;
  const std::vector<Case> cases = {
      {size + 8, 8, "at offset " + std::to_string(size + 8) + " reaches past the end of the file"},
      {table, size - table + 8, "reaches past the end of the file (" + std::to_string(size) + " bytes)"},
      {table, 0, "of 0 bytes at offset " + std::to_string(table) + " cannot be a certificate table"},
      {0, 64, "its table of 64 bytes at offset 0 cannot be a certificate table"},
      {table - 4, size - table + 4, "is not aligned to 8 bytes"},
      {records, size - records, "holds no certificates at offset " + std::to_string(records) + " (it may overlap the archive)"},
  };
  for (const Case& c : cases) {
    Bytes hostile = file;
    PointCertificateDirectory(hostile, c.offset, c.size);
    EXPECT_THAT(Refusal(hostile), StartsWith(prefix)) << c.offset << ", " << c.size;
    EXPECT_THAT(Refusal(hostile), HasSubstr(c.reason));
    EXPECT_FALSE(ReadArchiveDirectory(Write(hostile)));
  }
  // A well-formed table copied over the records of an unsigned archive.
  Bytes overlapping = Packed(ProgramImage(), items);
  testing::PutLE32(overlapping, static_cast<size_t>(records), 64);
  testing::PutLE32(overlapping, static_cast<size_t>(records) + 4, 0x00020200);
  PointCertificateDirectory(overlapping, records, 64);
  EXPECT_THAT(Refusal(overlapping), StartsWith(prefix));
  EXPECT_THAT(Refusal(overlapping), HasSubstr("table of 64 bytes at offset " + std::to_string(records) +
                                              " overlaps the archive"));
}

TEST_F(SignedArchive, DamageThatKeepsTheSizeFailsTheEntryAndLeavesNoFile) {
  Bytes file = Packed(ProgramImage(), items);
  const ArchiveIndex index = Index(file);
  const ArchiveDirectoryEntry& entry = index.Entries[1];
  ASSERT_TRUE(testing::DamageQuietly(file, entry.StartOffset, entry.EndOffset));
  const std::string path = Write(file);
  const std::string dest = dir.File("dest");
  fs::create_directory(dest);
  EXPECT_FALSE(ExtractAllEntries(path, dest, nullptr, false));
  EXPECT_EQ(testing::Listing(dest), std::vector<std::string>{"setup.exe"});
  EXPECT_EQ(FailureOf([&] { ExtractArchiveEntry(path, dest, 1, false); }),
            "EArchiveError: Entry does not match its SHA-256 hash in archive: a.txt");
  EXPECT_EQ(testing::Listing(dest), std::vector<std::string>{"setup.exe"});
}

TEST_F(SignedArchive, ADamagedRecordIsCaughtBeforeAnythingIsWritten) {
  Bytes file = Packed(ProgramImage(), items);
  const ArchiveIndex index = Index(file);
  file[static_cast<size_t>(index.FirstRecord) + DirectoryEntrySize + 25] ^= 0x20;  // a.txt -> A.txt
  EXPECT_EQ(Refusal(file), "EUnreadableArchive: Damaged archive directory in setup.exe: its records do not "
                           "match their SHA-256 hash");
  const std::string path = Write(file);
  const std::string dest = dir.File("dest");
  EXPECT_FALSE(ExtractArchiveEntry(path, dest, 0, false));
  EXPECT_FALSE(ExtractAllEntries(path, dest, nullptr, false));
  EXPECT_FALSE(fs::exists(dest));

  // A block that does not fit the records is damage too; a later version is
  // left to the readers that know it.
  Bytes misfit = Packed(ProgramImage(), items);
  misfit[static_cast<size_t>(index.FirstRecord) - IntegrityFooterSize] = 3;
  EXPECT_THAT(Refusal(misfit), HasSubstr("its integrity block does not fit its 2 records"));
  Bytes later = Packed(ProgramImage(), items);
  later[static_cast<size_t>(index.FirstRecord) - IntegrityFooterSize + 8] = 2;
  EXPECT_FALSE(Index(later).HasHashes());
}

}  // namespace
}  // namespace stowaway
