#include "app/TrendExport.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qx {
namespace {

// std::to_chars ignores the C locale, which a GUI toolkit may have set to
// the user's (and with it a decimal comma).
void AppendNumber(std::string& out, double value) {
  char text[32];
  const auto [end, status] = std::to_chars(text, text + sizeof text, static_cast<float>(value));
  out.append(text, status == std::errc() ? end : text);
}

}  // namespace

std::string TrendCsv(std::span<const TrendRow> rows) {
  std::string out = kTrendCsvHeader;
  out += '\n';
  for (const TrendRow& row : rows) {
    AppendNumber(out, row.Time);
    for (double value : {row.Clock, row.SP, row.PV, row.OP}) {
      out += ',';
      AppendNumber(out, value);
    }
    out += '\n';
  }
  return out;
}

bool WriteTrendCsv(const std::string& path, std::span<const TrendRow> rows, std::string& error) {
  const auto fail = [&](int code) {
    error = "Cannot write " + path + ": " + std::strerror(code);
    return false;
  };
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file) return fail(errno);
  const std::string text = TrendCsv(rows);
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) return fail(errno);
  // A full disk may only show when the buffered rest is written out.
  if (std::fclose(file.release()) != 0) return fail(errno);
  return true;
}

}  // namespace qx
