#include "persistence/CaseListing.h"

#include <vector>

#include "engine/RealText.h"
#include "persistence/CaseFile.h"
#include "persistence/CaseLineTable.h"
#include "persistence/CompressedLineFile.h"

namespace qx {
namespace {

// Keeps the text of the error box, for a caller that reports it itself.
class MessageHost final : public CaseHost {
 public:
  void ShowErrorBox(std::string_view, std::string_view text) override { message = text; }
  void ShowLoopKind() override {}
  void ShowAutoMode() override {}
  std::string message;
};

std::string_view KindName(CaseValueKind kind) {
  switch (kind) {
    case CaseValueKind::Real: return "real";
    case CaseValueKind::Int: return "integer";
    case CaseValueKind::Char: return "character";
    case CaseValueKind::Text: return "text";
  }
  return {};
}

std::string ListingLine(std::size_t number) { return "listing line " + std::to_string(number); }

std::string Expected(const CaseLine& line) {
  std::string text(1, '\'');
  text.append(line.name).append("=<").append(KindName(line.kind)).append(">'");
  return text;
}

}  // namespace

bool DumpCaseListing(const std::string& path, std::string& listing, std::string& error) {
  MessageHost host;
  LineCursor cursor;
  switch (CompressedLineFile::Read(path, kAcceptedCaseTags, '.', host, cursor)) {
    case LineReadStatus::NotFound:
      error = std::string(kMissingTextStart) + path + std::string(kMissingTextEnd);
      return false;
    case LineReadStatus::Invalid:
      error = host.message;
      return false;
    case LineReadStatus::Ok:
      break;
  }
  std::string text = cursor.Tag() + "\n";
  for (const CaseLine& line : CaseLines()) {
    std::string value;
    if (!cursor.NextRaw(value, error)) return false;
    text.append(line.name).append("=").append(value).append("\n");
  }
  listing = std::move(text);
  return true;
}

bool PackCaseListing(std::string_view listing, const std::string& outPath, char decimalSeparator,
                     std::string& error) {
  // Editors on Windows may put a UTF-8 byte-order mark before the tag.
  if (listing.starts_with("\xEF\xBB\xBF")) listing.remove_prefix(3);
  std::vector<std::string> lines = SplitLines(listing);
  if (lines.empty() || (lines[0] != kCaseTag && lines[0] != kOlderCaseTag)) {
    error = ListingLine(1) + ": expected the case tag '" + std::string(kCaseTag) + "' or '" +
            std::string(kOlderCaseTag) + "', found '" + (lines.empty() ? "" : lines[0]) + "'";
    return false;
  }
  std::vector<std::string> values;
  values.reserve(kCaseValueLines);
  std::size_t number = 1;
  for (const CaseLine& line : CaseLines()) {
    ++number;
    if (number > lines.size()) {
      error = ListingLine(number) + ": expected " + Expected(line) + ", but the listing ends after line " +
              std::to_string(number - 1);
      return false;
    }
    const std::string& text = lines[number - 1];
    std::string prefix = std::string(line.name) + "=";
    if (!text.starts_with(prefix)) {
      error = ListingLine(number) + ": expected " + Expected(line) + ", found '" + text + "'";
      return false;
    }
    std::string value = text.substr(prefix.size());
    std::string failure;
    if (!CheckCaseLineText(line, value, decimalSeparator, failure)) {
      error = ListingLine(number) + " (" + std::string(line.name) + "): " + failure;
      return false;
    }
    values.push_back(std::move(value));
  }
  for (std::size_t extra = number; extra < lines.size(); ++extra) {
    if (!TrimLine(lines[extra]).empty()) {
      error = ListingLine(extra + 1) + ": expected the end of the listing after line " +
              std::to_string(number) + ", found '" + lines[extra] + "'";
      return false;
    }
  }
  std::string reason;
  if (!CompressedLineFile::Write(outPath, lines[0], values, reason)) {
    error = "Could Not Save File: " + reason;
    return false;
  }
  return true;
}

}  // namespace qx
