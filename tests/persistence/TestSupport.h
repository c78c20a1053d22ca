// Helpers shared by the persistence tests: a scratch folder, a host that
// records what it is asked to show, and raw file bytes in and out.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "persistence/CaseHost.h"

namespace qx::test {

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

class RecordingHost final : public CaseHost {
 public:
  void ShowErrorBox(std::string_view caption, std::string_view text) override {
    boxes.emplace_back(std::string(caption), std::string(text));
  }
  void ShowLoopKind() override { ++loopKindShown; }
  void ShowAutoMode() override { ++autoModeShown; }

  std::vector<std::pair<std::string, std::string>> boxes;  // caption, text
  int loopKindShown = 0;
  int autoModeShown = 0;
};

void WriteBytes(const std::string& path, std::string_view bytes);
std::string ReadBytes(const std::string& path);

// `text` as one raw DEFLATE stream.
std::string Compressed(std::string_view text);

// The inflated content of a case file (empty when it does not inflate).
std::string DecompressedFile(const std::string& path);

// Writes `lines` (tag first), each followed by CR LF, compressed, to `path`.
void WriteLineFile(const std::string& path, const std::vector<std::string>& lines);

std::string FixturePath(std::string_view name);

// A string literal with its embedded NUL bytes.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

}  // namespace qx::test
