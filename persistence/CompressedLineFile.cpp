#include "persistence/CompressedLineFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "persistence/RawDeflate.h"
#include "persistence/SafeFile.h"
#include "persistence/TextEncoding.h"

namespace qx {
namespace {

bool Exists(const std::string& path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0 || errno != ENOENT;
}

LineReadStatus Invalid(const std::string& path, CaseHost& host) {
  host.ShowErrorBox(CompressedLineFile::kErrorCaption,
                    std::string(CompressedLineFile::kInvalidText) + path);
  return LineReadStatus::Invalid;
}

// A file that exists but could not be read is not called invalid: the box
// says why it could not be read.
LineReadStatus Unreadable(const std::string& path, const std::string& failure, CaseHost& host) {
  host.ShowErrorBox(CompressedLineFile::kErrorCaption,
                    std::string(CompressedLineFile::kCannotReadText) + path + ": " + failure);
  return LineReadStatus::Invalid;
}

}  // namespace

LineReadStatus CompressedLineFile::Read(const std::string& path,
                                        std::span<const std::string_view> acceptedTags,
                                        char decimalSeparator, CaseHost& host, LineCursor& cursor,
                                        std::chrono::milliseconds lockWait) {
  if (!Exists(path)) return LineReadStatus::NotFound;

  std::string bytes;
  {
    LockedReader file(path, lockWait);
    if (!file.IsOpen()) return Unreadable(path, file.Failure(), host);
    bool inflated = InflateRaw(
        [&](unsigned char* buffer, std::size_t capacity) { return file.Read(buffer, capacity); },
        bytes);
    if (!file.Failure().empty()) return Unreadable(path, file.Failure(), host);
    if (!inflated) return Invalid(path, host);
  }

  std::vector<std::string> lines = SplitLines(DecodeFileText(bytes));
  std::string tag;
  if (!lines.empty()) {
    bool accepted = std::any_of(acceptedTags.begin(), acceptedTags.end(),
                                [&](std::string_view t) { return lines.front() == t; });
    if (!accepted) return Invalid(path, host);
    tag = std::move(lines.front());
    lines.erase(lines.begin());
  }
  cursor = LineCursor(std::move(tag), std::move(lines), decimalSeparator);
  return LineReadStatus::Ok;
}

bool CompressedLineFile::Write(const std::string& path, std::string_view tag,
                               std::span<const std::string> valueLines, std::string& reason,
                               std::chrono::milliseconds lockWait) {
  std::string text;
  text.append(tag).append("\r\n");
  for (const std::string& line : valueLines) text.append(line).append("\r\n");
  std::string compressed;
  if (!DeflateRaw(EncodeFileText(text), compressed)) {
    reason = "cannot compress the text for '" + path + "'";
    return false;
  }
  return ReplaceFile(path, compressed, reason, lockWait);
}

}  // namespace qx
