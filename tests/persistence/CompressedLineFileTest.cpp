#include "persistence/CompressedLineFile.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>

#include "TestSupport.h"
#include "persistence/CaseLineTable.h"

namespace qx {
namespace {

using test::RecordingHost;
using test::TempDir;

const std::string_view kTags[] = {"TravekFile", "MALVOR PID FILE"};

struct ReadOutcome {
  LineReadStatus status;
  LineCursor cursor;
  RecordingHost host;
};

ReadOutcome ReadFile(const std::string& path, char separator = '.') {
  ReadOutcome out{};
  out.status = CompressedLineFile::Read(path, kTags, separator, out.host, out.cursor);
  return out;
}

std::vector<std::string> AllLines(LineCursor& cursor) {
  std::vector<std::string> lines;
  std::string line, failure;
  while (cursor.NextRaw(line, failure)) lines.push_back(line);
  return lines;
}

void ExpectInvalid(const ReadOutcome& out, const std::string& path) {
  EXPECT_EQ(out.status, LineReadStatus::Invalid);
  ASSERT_EQ(out.host.boxes.size(), 1u);
  EXPECT_EQ(out.host.boxes[0].first, "Error");
  EXPECT_EQ(out.host.boxes[0].second, "Not Valid QxOPCServer File!\n" + path);
}

TEST(CompressedLineFile, ReadsAStreamFromAnIndependentWriterAndIgnoresTrailingBytes) {
  for (const char* fixture : {"python_case.pid", "python_case_trailing.pid"}) {
    ReadOutcome out = ReadFile(test::FixturePath(fixture));
    ASSERT_EQ(out.status, LineReadStatus::Ok) << fixture;
    EXPECT_EQ(out.cursor.Tag(), "TravekFile");
    std::vector<std::string> lines = AllLines(out.cursor);
    ASSERT_EQ(lines.size(), 172u) << fixture;
    EXPECT_EQ(lines[0], "2.5");
    EXPECT_EQ(lines[158], "C:\\Daten\\\xC3\x9C" "bung.dat");  // line 160, Windows-1252 Ü
    EXPECT_TRUE(out.host.boxes.empty());
  }
}

TEST(CompressedLineFile, LineEndsAndByteOrderMarksReadAlike) {
  TempDir dir;
  const std::vector<std::string> expected = {"1.5", "\xC3\xA9t\xC3\xA9", "", "-3"};
  const std::string variants[] = {
      "TravekFile\r\n1.5\r\n\xE9t\xE9\r\n\r\n-3\r\n",
      "TravekFile\n1.5\n\xE9t\xE9\n\n-3\n",
      "TravekFile\r1.5\r\xE9t\xE9\r\r-3",
      "\xEF\xBB\xBFTravekFile\r\n1.5\r\n\xC3\xA9t\xC3\xA9\r\n\r\n-3\r\n",
      test::Bytes("\xFF\xFET\0r\0a\0v\0e\0k\0F\0i\0l\0e\0\n\0" "1\0.\0" "5\0\n\0\xE9\0t\0\xE9\0\n\0\n\0-\0" "3\0"),
      test::Bytes("\xFE\xFF\0T\0r\0a\0v\0e\0k\0F\0i\0l\0e\0\n\0" "1\0.\0" "5\0\n\0\xE9\0t\0\xE9\0\n\0\n\0-\0" "3"),
  };
  for (const std::string& text : variants) {
    std::string path = dir.File("variant.pid");
    test::WriteBytes(path, test::Compressed(text));
    ReadOutcome out = ReadFile(path);
    ASSERT_EQ(out.status, LineReadStatus::Ok);
    EXPECT_EQ(AllLines(out.cursor), expected);
  }
}

TEST(CompressedLineFile, TagMustMatchExactly) {
  TempDir dir;
  std::string path = dir.File("tag.pid");
  for (const char* tag : {"TravekFile ", "travekfile", " TravekFile", "MALVOR PID FILE\t", "x"}) {
    test::WriteLineFile(path, {tag, "1"});
    ExpectInvalid(ReadFile(path), path);
  }
  test::WriteLineFile(path, {"MALVOR PID FILE", "1"});
  EXPECT_EQ(ReadFile(path).status, LineReadStatus::Ok);
}

TEST(CompressedLineFile, DamagedOrHostileContentIsInvalid) {
  TempDir dir;
  std::string path = dir.File("bad.pid");
  std::string valid = test::Compressed("TravekFile\r\n1\r\n2\r\n");
  std::string zlibWrapped = "\x78\x9C" + valid;
  const std::string contents[] = {
      "",                                     // no stream at all
      valid.substr(0, valid.size() / 2),      // truncated stream
      "this is plain text, not DEFLATE data",
      zlibWrapped,                            // a zlib header is not raw DEFLATE
      test::Compressed(std::string(17u << 20, '0')),  // inflates beyond the limit
  };
  for (const std::string& bytes : contents) {
    test::WriteBytes(path, bytes);
    ExpectInvalid(ReadFile(path), path);
  }
}

void ExpectUnreadable(const ReadOutcome& out, const std::string& path, const std::string& why) {
  EXPECT_EQ(out.status, LineReadStatus::Invalid) << path;
  ASSERT_EQ(out.host.boxes.size(), 1u) << path;
  EXPECT_EQ(out.host.boxes[0].first, "Error");
  EXPECT_EQ(out.host.boxes[0].second, "Cannot read " + path + ": " + why);
}

// What exists but cannot be read is not called invalid: the box gives the
// system's reason. A FIFO that no one writes must not hang the read.
TEST(CompressedLineFile, WhatCannotBeReadIsReportedWithTheReason) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder.pid"));
  ASSERT_EQ(mkfifo(dir.File("fifo.pid").c_str(), 0600), 0);
  std::filesystem::create_symlink("loop-b.pid", dir.File("loop-a.pid"));
  std::filesystem::create_symlink("loop-a.pid", dir.File("loop-b.pid"));
  const std::pair<std::string, std::string> cases[] = {
      {dir.File("folder.pid"), "Is a directory"},
      {dir.File("fifo.pid"), "Is a FIFO, not a regular file"},
      {"/dev/null", "Is a device, not a regular file"},
      {dir.File("loop-a.pid"), "Too many levels of symbolic links"},
  };
  alarm(10);  // a read that blocks ends the test program instead of hanging it
  for (const auto& [path, why] : cases) ExpectUnreadable(ReadFile(path), path, why);
  alarm(0);
}

// Root reads any file, so the read runs in a child without root's rights.
TEST(CompressedLineFile, PermissionDeniedIsReportedAsSuch) {
  TempDir dir;
  const std::string path = dir.File("secret.pid");
  test::WriteLineFile(path, {"TravekFile", "1"});
  chmod(path.c_str(), 0);
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
        ReadOutcome out = ReadFile(path);
        const bool said = out.status == LineReadStatus::Invalid && out.host.boxes.size() == 1 &&
                          out.host.boxes[0].second == "Cannot read " + path + ": Permission denied";
        _exit(said ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(CompressedLineFile, MissingFileIsNotFoundWithoutABox) {
  TempDir dir;
  ReadOutcome out = ReadFile(dir.File("none.pid"));
  EXPECT_EQ(out.status, LineReadStatus::NotFound);
  EXPECT_TRUE(out.host.boxes.empty());
}

TEST(CompressedLineFile, EmptyTextIsAMissingLineNotInvalid) {
  TempDir dir;
  std::string path = dir.File("empty.pid");
  test::WriteBytes(path, test::Compressed(""));
  ReadOutcome out = ReadFile(path);
  ASSERT_EQ(out.status, LineReadStatus::Ok);
  EXPECT_TRUE(out.host.boxes.empty());
  float value = 0;
  std::string failure;
  EXPECT_FALSE(out.cursor.NextReal(value, failure));
  EXPECT_EQ(failure, "List index out of bounds (0)");
}

TEST(LineCursor, ConvertsTrimmedLinesAndReportsTheMissingPosition) {
  LineCursor cursor("TravekFile", {" \t2,5 ", "\t-7\r", "  Q", "  C:\\x.dat  ", "bad"}, ',');
  float real = 0;
  int32_t integer = 0;
  char character = 0;
  std::string text, failure;
  ASSERT_TRUE(cursor.NextReal(real, failure));
  EXPECT_EQ(real, 2.5f);
  ASSERT_TRUE(cursor.NextInt(integer, failure));
  EXPECT_EQ(integer, -7);
  ASSERT_TRUE(cursor.NextChar(character, failure));
  EXPECT_EQ(character, 'Q');
  ASSERT_TRUE(cursor.NextText(text, failure));
  EXPECT_EQ(text, "C:\\x.dat");
  EXPECT_FALSE(cursor.NextInt(integer, failure));
  EXPECT_EQ(failure, "''bad'' is not a valid integer value");
  EXPECT_FALSE(cursor.NextText(text, failure));
  EXPECT_EQ(failure, "List index out of bounds (5)");
}

TEST(CompressedLineFile, WritesCrLfWindows1252TextThatReadsBack) {
  TempDir dir;
  std::string path = dir.File("out.pid");
  std::vector<std::string> lines = {"0.5", "\xC3\x9C" "bung \xE2\x82\xAC", "", "-3"};
  std::string reason;
  ASSERT_TRUE(CompressedLineFile::Write(path, "TravekFile", lines, reason)) << reason;
  EXPECT_EQ(test::DecompressedFile(path), "TravekFile\r\n0.5\r\n\xDC" "bung \x80\r\n\r\n-3\r\n");
  ReadOutcome out = ReadFile(path);
  ASSERT_EQ(out.status, LineReadStatus::Ok);
  EXPECT_EQ(AllLines(out.cursor), lines);
}

TEST(CompressedLineFile, ShorterFileReplacesALongerOneCompletely) {
  TempDir dir;
  std::string path = dir.File("case.pid");
  std::string reason;
  std::vector<std::string> longer(500, "123456.789"), shorter = {"1"};
  ASSERT_TRUE(CompressedLineFile::Write(path, "TravekFile", longer, reason));
  ASSERT_TRUE(CompressedLineFile::Write(path, "TravekFile", shorter, reason));
  EXPECT_EQ(test::DecompressedFile(path), "TravekFile\r\n1\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(CompressedLineFile, FailedSaveLeavesTheExistingFileAndNoTemporary) {
  TempDir dir;
  std::string path = dir.File("case.pid");
  std::string reason;
  ASSERT_TRUE(CompressedLineFile::Write(path, "TravekFile", std::vector<std::string>{"1"}, reason));
  const std::string before = test::ReadBytes(path);

  // Incompressible lines, larger than the file size limit set below, make
  // the write of the temporary file fail half-way.
  std::vector<std::string> big;
  for (int i = 0; i < 4000; ++i) big.push_back(std::to_string(i * 2654435761u));
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  bool written = CompressedLineFile::Write(path, "TravekFile", big, reason);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(written);
  EXPECT_NE(reason.find("cannot write"), std::string::npos) << reason;
  EXPECT_EQ(test::ReadBytes(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(CompressedLineFile, WriteFailsWhereNoFileCanBeCreated) {
  TempDir dir;
  std::string reason;
  std::vector<std::string> lines = {"1"};
  EXPECT_FALSE(CompressedLineFile::Write(dir.File("no/such/folder.pid"), "TravekFile", lines, reason));
  std::filesystem::create_directory(dir.File("folder.pid"));
  EXPECT_FALSE(CompressedLineFile::Write(dir.File("folder.pid"), "TravekFile", lines, reason));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.pid")));
}

TEST(CompressedLineFile, SaveThroughASymbolicLinkReplacesItsTarget) {
  TempDir dir;
  std::string target = dir.File("real.pid"), link = dir.File("link.pid");
  test::WriteLineFile(target, {"TravekFile", "1"});
  std::filesystem::create_symlink(target, link);
  std::string reason;
  ASSERT_TRUE(CompressedLineFile::Write(link, "TravekFile", std::vector<std::string>{"2"}, reason));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(test::DecompressedFile(target), "TravekFile\r\n2\r\n");
}

TEST(CompressedLineFile, AnotherProcessHoldingTheLockKeepsReadAndWriteAway) {
  TempDir dir;
  std::string path = dir.File("locked.pid");
  test::WriteLineFile(path, {"TravekFile", "1"});
  // flock() locks belong to an open file description, so a second open in
  // this process conflicts just as another process would.
  int holder = open(path.c_str(), O_RDONLY);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  constexpr std::chrono::milliseconds kShortWait{50};
  const auto start = std::chrono::steady_clock::now();
  ReadOutcome locked{};
  locked.status = CompressedLineFile::Read(path, kTags, '.', locked.host, locked.cursor, kShortWait);
  ExpectUnreadable(locked, path, "Locked by another program");
  std::string reason;
  EXPECT_FALSE(CompressedLineFile::Write(path, "TravekFile", std::vector<std::string>{"2"}, reason,
                                         kShortWait));
  EXPECT_NE(reason.find("cannot lock"), std::string::npos) << reason;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  close(holder);
  EXPECT_EQ(test::DecompressedFile(path), "TravekFile\r\n1\r\n");
  EXPECT_EQ(ReadFile(path).status, LineReadStatus::Ok);
}

// A save replaces a regular file or makes a new one. Whatever else stands at
// the path stays as it was, with a reason that says what it is, and the save
// returns at once (opening a FIFO must not wait for a reader).
TEST(CompressedLineFile, SaveRefusesWhatIsNotARegularFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder.pid"));
  ASSERT_EQ(mkfifo(dir.File("fifo.pid").c_str(), 0600), 0);
  std::filesystem::create_symlink("missing.pid", dir.File("dangling.pid"));
  std::filesystem::create_symlink("loop-b.pid", dir.File("loop-a.pid"));
  std::filesystem::create_symlink("loop-a.pid", dir.File("loop-b.pid"));
  struct Case {
    std::string path;
    std::string why;
  };
  std::vector<Case> cases = {
      {dir.File("folder.pid"), "Is a directory"},
      {dir.File("fifo.pid"), "Is a FIFO, not a regular file"},
      {dir.File("dangling.pid"), "symbolic link to a missing file"},
      {dir.File("loop-a.pid"), "Too many levels of symbolic links"},
  };
  // A device node of its own (only root may make one): the save must not
  // turn it, nor a link to it, into a plain file.
  if (mknod(dir.File("null.pid").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    std::filesystem::create_symlink("null.pid", dir.File("to-device.pid"));
    cases.push_back({dir.File("null.pid"), "Is a device, not a regular file"});
    cases.push_back({dir.File("to-device.pid"), "Is a device, not a regular file"});
  }
  const auto entries = std::distance(std::filesystem::directory_iterator(dir.path()), {});
  alarm(10);  // a save that blocks ends the test program instead of hanging it
  for (const Case& c : cases) {
    const auto before = std::filesystem::symlink_status(c.path).type();
    std::string reason;
    EXPECT_FALSE(CompressedLineFile::Write(c.path, "TravekFile", std::vector<std::string>{"2"}, reason))
        << c.path;
    EXPECT_NE(reason.find(c.why), std::string::npos) << reason;
    EXPECT_EQ(std::filesystem::symlink_status(c.path).type(), before) << c.path;
  }
  alarm(0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), entries)
      << "no temporary file is left";
  if (std::filesystem::exists(dir.File("null.pid"))) {
    EXPECT_TRUE(std::filesystem::is_character_file(dir.File("null.pid")));
  }
}

}  // namespace
}  // namespace qx
