#include "persistence/CaseListing.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "persistence/CaseLineTable.h"

namespace qx {
namespace {

using test::TempDir;

TEST(CaseListing, DumpShowsTheTagThenEveryLineByName) {
  std::string listing, error;
  ASSERT_TRUE(DumpCaseListing(test::FixturePath("python_case.pid"), listing, error)) << error;
  EXPECT_EQ(listing, test::ReadBytes(test::FixturePath("python_case.listing")));
}

TEST(CaseListing, DumpThenPackReproducesTheCaseText) {
  TempDir dir;
  // A case by another writer, and one under the older tag with blanks kept.
  std::string older = dir.File("older.pid");
  std::vector<std::string> lines = {"MALVOR PID FILE"};
  for (int i = 0; i < kCaseValueLines; ++i) lines.push_back(" 1 ");
  test::WriteLineFile(older, lines);

  for (const std::string& source : {test::FixturePath("python_case.pid"), older}) {
    std::string listing, error;
    ASSERT_TRUE(DumpCaseListing(source, listing, error)) << error;
    std::string packed = dir.File("packed.pid");
    ASSERT_TRUE(PackCaseListing(listing, packed, '.', error)) << error;
    EXPECT_EQ(test::DecompressedFile(packed), test::DecompressedFile(source)) << source;
  }
}

TEST(CaseListing, PackNamesTheLineAndWhatWasExpected) {
  TempDir dir;
  std::string listing, error;
  ASSERT_TRUE(DumpCaseListing(test::FixturePath("python_case.pid"), listing, error)) << error;
  auto replaced = [&](std::string_view from, std::string_view to) {
    std::string text = listing;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  struct Case { std::string listing; std::string error; };
  const Case cases[] = {
      {"", "listing line 1: expected the case tag 'TravekFile' or 'MALVOR PID FILE', found ''"},
      {replaced("TravekFile\n", "Travek\n"),
       "listing line 1: expected the case tag 'TravekFile' or 'MALVOR PID FILE', found 'Travek'"},
      {replaced("SingleLoop.D=", "SingleLoop.X="),
       "listing line 4: expected 'SingleLoop.D=<real>', found 'SingleLoop.X=-0.25'"},
      {replaced("SingleLoop.Equation=1", "SingleLoop.Equation=one"),
       "listing line 34 (SingleLoop.Equation): ''one'' is not a valid integer value"},
      {replaced("SingleLoop.P=2.5", "SingleLoop.P=2,5"),
       "listing line 2 (SingleLoop.P): '2,5' is not a valid floating point value"},
      {listing.substr(0, listing.find("CaseExtras.Int6")),
       "listing line 165: expected 'CaseExtras.Int6=<integer>', but the listing ends after line 164"},
      {listing + "\n\nextra\n", "listing line 176: expected the end of the listing after line 173, found 'extra'"},
  };
  for (const Case& c : cases) {
    std::string out = dir.File("out.pid");
    std::string message;
    EXPECT_FALSE(PackCaseListing(c.listing, out, '.', message));
    EXPECT_EQ(message, c.error);
    EXPECT_FALSE(std::filesystem::exists(out));
  }
  // Blank lines after the last value line, CR LF line ends and a UTF-8
  // byte-order mark (from editors on Windows) are allowed.
  std::string crlf;
  for (char c : listing) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& variant : {listing + "\n\n", crlf, "\xEF\xBB\xBF" + listing}) {
    std::string message;
    EXPECT_TRUE(PackCaseListing(variant, dir.File("out.pid"), '.', message)) << message;
    EXPECT_EQ(test::DecompressedFile(dir.File("out.pid")),
              test::DecompressedFile(test::FixturePath("python_case.pid")));
  }
}

TEST(CaseListing, DumpReportsFilesThatAreNoCase) {
  TempDir dir;
  std::string missing = dir.File("missing.pid"), invalid = dir.File("invalid.pid"),
              shorter = dir.File("short.pid");
  test::WriteBytes(invalid, "plain text");
  test::WriteLineFile(shorter, {"TravekFile", "1", "2"});
  struct Case { std::string path; std::string error; };
  const Case cases[] = {
      {missing, "Configuration File Not Found:\n" + missing + "\nSelect Another Case File"},
      {invalid, "Not Valid QxOPCServer File!\n" + invalid},
      {shorter, "List index out of bounds (2)"},
  };
  for (const Case& c : cases) {
    std::string listing, error;
    EXPECT_FALSE(DumpCaseListing(c.path, listing, error));
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace qx
