// The signature test: the CRC-32, the worm files the tests make, and InspectFile.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "scan/signature.h"
#include "support/scratch_folder.h"
#include "support/worm_file.h"

#if defined(_WIN32)
#include "platform/win32.h"
#else
#include "platform/posix/machine.h"
#endif
#if defined(VR_HAVE_ZLIB)
#include <zlib.h>
#endif

namespace {

uint32_t SystemCrc(const std::string& bytes) {
  Crc32Begin();
  Crc32Update(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return Crc32End();
}

std::string RandomBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 23);
  }
  return bytes;
}

class Crc32Test : public testing::Test {
 protected:
  void SetUp() override { Crc32BuildTable(); }
};

TEST_F(Crc32Test, KnownVectors) {
  struct Case {
    std::string bytes;
    uint32_t crc;
  };
  const Case cases[] = {
      {"", 0x00000000u},
      {"a", 0xE8B7BE43u},
      {"abc", 0x352441C2u},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
      {std::string(32, '\0'), 0x190A55ADu},
      {std::string(32, '\xFF'), 0xFF6CAB0Bu},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.crc, SystemCrc(c.bytes)) << '"' << c.bytes << '"';
    EXPECT_EQ(c.crc, support::ReferenceCrc32(c.bytes.data(), c.bytes.size())) << '"' << c.bytes << '"';
  }
}

TEST_F(Crc32Test, UpdatesChainAndAnEmptyUpdateChangesNothing) {
  Crc32Begin();
  EXPECT_EQ(4u, Crc32Update("1234", 4));
  EXPECT_EQ(0u, Crc32Update("ignored", 0));
  EXPECT_EQ(5u, Crc32Update("56789", 5));
  EXPECT_EQ(0xCBF43926u, Crc32End());
}

// Every size in the table, the ones above the read limit included, on random content.
TEST_F(Crc32Test, AgreesWithIndependentImplementationsAtEverySignatureSize) {
  for (const SignatureRow& row : kSignatureTable) {
    std::string bytes = RandomBytes(row.size, row.crc);
    uint32_t crc = SystemCrc(bytes);
    EXPECT_EQ(support::ReferenceCrc32(bytes.data(), bytes.size()), crc) << row.size;
#if defined(VR_HAVE_ZLIB)
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())), crc)
        << row.size;
#endif
  }
}

TEST_F(Crc32Test, WormFilesHaveTheRequestedSizeAndCrc) {
  for (const SignatureRow& row : kSignatureTable) {
    std::string bytes = support::MakeWormBytes(row.size, row.crc);
    ASSERT_EQ(row.size, bytes.size());
    EXPECT_EQ(row.crc, SystemCrc(bytes)) << row.size;
  }
  // Different seeds give different bodies with the same CRC.
  std::string other = support::MakeWormBytes(41984, 0xCA4CDED4u, 7);
  EXPECT_NE(support::MakeWormBytes(41984, 0xCA4CDED4u, 1), other);
  EXPECT_EQ(0xCA4CDED4u, SystemCrc(other));
  EXPECT_EQ("", support::MakeWormBytes(3, 0));
  for (uint32_t crc : {0x00000000u, 0xFFFFFFFFu, 0x80000001u}) {
    EXPECT_EQ(crc, SystemCrc(support::MakeWormBytes(4, crc)));
  }
}

TEST_F(Crc32Test, AnyFourBytesCanBeSolvedFor) {
  std::string bytes = RandomBytes(5000, 3);
  for (size_t offset : {size_t{0}, size_t{1}, size_t{2500}, size_t{4996}}) {
    support::SolveCrc32(bytes, offset, 0xDEADBEEFu);
    EXPECT_EQ(0xDEADBEEFu, SystemCrc(bytes)) << offset;
  }
}

TEST_F(Crc32Test, WrittenWormFileMatchesTheBytesMadeInMemory) {
  support::ScratchFolder folder;
  // Larger than one chunk of the writer, so the CRC is carried across chunks.
  ASSERT_TRUE(support::WriteWormFile(folder.HostPath("W.BIN"), 150000, 0x12345678u, 9));
  std::string written = folder.Read("W.BIN");
  EXPECT_EQ(support::MakeWormBytes(150000, 0x12345678u, 9), written);
  EXPECT_EQ(0x12345678u, SystemCrc(written));
  EXPECT_FALSE(support::WriteWormFile(folder.HostPath("SMALL.BIN"), 3, 0));
  EXPECT_FALSE(support::WriteWormFile(folder.HostPath("no-such-folder/X.BIN"), 100, 0));
}

class InspectFileTest : public testing::Test {
 protected:
  void SetUp() override {
#if !defined(_WIN32)
    machine::Reset();
#endif
    folder_ = std::make_unique<support::ScratchFolder>();
    Crc32BuildTable();
  }
  void TearDown() override {
    folder_.reset();
#if !defined(_WIN32)
    machine::Reset();
#endif
  }

  // Opens of files by Windows path so far; natively every open asks the fault switches.
  static long OpensSoFar() {
#if defined(_WIN32)
    return -1;
#else
    return machine::Current().faults.calls;
#endif
  }

  std::unique_ptr<support::ScratchFolder> folder_;
};

const char kUntouched[] = "untouched";

TEST_F(InspectFileTest, MatchesBySizeAndCrc) {
  struct Case {
    const char* why;
    std::string content;
    uint32_t size;  // as the walker reports it
    bool infected;
    const char* suffix;
  };
  const Case cases[] = {
      {"row 1", support::MakeWormBytes(77824, 0x58272A4Fu), 77824, true, ".DROPPED"},
      {"row 2", support::MakeWormBytes(78848, 0xACB63D88u), 78848, true, ".C"},
      {"row 6", support::MakeWormBytes(84992, 0x40A884ECu), 84992, true, ""},
      {"row 7", support::MakeWormBytes(77312, 0x5836E16Du), 77312, true, ""},
      {"row 8", support::MakeWormBytes(84992, 0xFE8AB2C8u), 84992, true, ""},
      {"row 9", support::MakeWormBytes(81920, 0xA2B6C559u), 81920, true, ""},
      {"row 10", support::MakeWormBytes(41984, 0xCA4CDED4u), 41984, true, ""},
      {"size of a row, CRC of none", support::MakeWormBytes(77824, 0x12345678u), 77824, false, kUntouched},
      {"size of a row, CRC of the row before", support::MakeWormBytes(78848, 0x58272A4Fu), 78848, true,
       ".DROPPED"},
      {"size of row 10, CRC of row 2", support::MakeWormBytes(41984, 0xACB63D88u), 41984, true, ".C"},
      {"longer file: only the reported size is read",
       support::MakeWormBytes(77824, 0x58272A4Fu) + "trailing bytes", 77824, true, ".DROPPED"},
  };
  for (const Case& c : cases) {
    folder_->Write("FILE.EXE", c.content);
    const char* suffix = kUntouched;
    EXPECT_EQ(c.infected, InspectFile(folder_->WindowsPath("FILE.EXE").c_str(), c.size, &suffix)) << c.why;
    EXPECT_STREQ(c.suffix, suffix) << c.why;
  }
}

// Sizes no row has, and rows above the read limit, are judged without opening the file.
TEST_F(InspectFileTest, FilesOfOtherSizesAreNeverOpened) {
  struct Case {
    uint32_t size;
    uint32_t crc;
  };
  const Case cases[] = {
      {77825, 0x58272A4Fu}, {77823, 0x58272A4Fu}, {107008, 0xD28AB6B9u}, {172842, 0x69480FA2u},
      {107008, 0x58272A4Fu},
  };
  for (const Case& c : cases) {
    folder_->Write("FILE.EXE", support::MakeWormBytes(c.size, c.crc));
    long opens = OpensSoFar();
    const char* suffix = kUntouched;
    EXPECT_FALSE(InspectFile(folder_->WindowsPath("FILE.EXE").c_str(), c.size, &suffix)) << c.size;
    EXPECT_STREQ(kUntouched, suffix);
    EXPECT_EQ(opens, OpensSoFar()) << c.size;
  }
  folder_->Write("EMPTY.EXE", "");
  const char* suffix = kUntouched;
  EXPECT_FALSE(InspectFile(folder_->WindowsPath("EMPTY.EXE").c_str(), 0, &suffix));
#if !defined(_WIN32)
  EXPECT_EQ(0, OpensSoFar());
#endif
}

// The bytes read are tested followed by zeros up to the reported size, whatever an earlier file
// left in the buffer.
TEST_F(InspectFileTest, ShortReadIsTestedWithZerosAfterTheBytesRead) {
  const uint32_t size = 77824;
  const size_t present = 50000;
  std::string whole = support::MakeWormBytes(size, 0);
  memset(&whole[present], 0, size - present);
  support::SolveCrc32(whole, present - 4, 0x58272A4Fu);
  folder_->Write("BIG.EXE", support::MakeWormBytes(84992, 0x40A884ECu));
  folder_->Write("SHORT.EXE", whole.substr(0, present));

  const char* suffix = kUntouched;
  EXPECT_TRUE(InspectFile(folder_->WindowsPath("BIG.EXE").c_str(), 84992, &suffix));
  suffix = kUntouched;
  EXPECT_TRUE(InspectFile(folder_->WindowsPath("SHORT.EXE").c_str(), size, &suffix));
  EXPECT_STREQ(".DROPPED", suffix);
}

TEST_F(InspectFileTest, UnreadableFileIsClean) {
  folder_->Write("LOCKED.EXE", support::MakeWormBytes(84992, 0x40A884ECu));
  std::string path = folder_->WindowsPath("LOCKED.EXE");
#if defined(_WIN32)
  // Held open without sharing, as by a running worm.
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
#else
  machine::Current().faults.failingPaths = {path};
#endif
  const char* suffix = kUntouched;
  EXPECT_FALSE(InspectFile(path.c_str(), 84992, &suffix));
  EXPECT_STREQ(kUntouched, suffix);
#if defined(_WIN32)
  CloseHandle(held);
#else
  machine::Current().faults.failingPaths.clear();
#endif
  EXPECT_TRUE(InspectFile(path.c_str(), 84992, &suffix));
  EXPECT_FALSE(InspectFile(folder_->WindowsPath("MISSING.EXE").c_str(), 84992, &suffix));
}

}  // namespace
