#include "TestSupport.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "persistence/RawDeflate.h"

namespace qx::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qx-persist-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = std::filesystem::canonical(pattern).string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string Compressed(std::string_view text) {
  std::string bytes;
  if (!DeflateRaw(text, bytes)) throw std::runtime_error("deflate failed");
  return bytes;
}

std::string DecompressedFile(const std::string& path) {
  std::string text;
  InflateRaw(ReadBytes(path), text);
  return text;
}

void WriteLineFile(const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  WriteBytes(path, Compressed(text));
}

std::string FixturePath(std::string_view name) {
  return std::string(QX_TEST_FIXTURES) + "/" + std::string(name);
}

}  // namespace qx::test
