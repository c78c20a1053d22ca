#include "persistence/LineCursor.h"

#include "engine/RealText.h"
#include "persistence/CharText.h"

namespace qx {

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

LineCursor::LineCursor(std::string tag, std::vector<std::string> lines, char decimalSeparator)
    : tag_(std::move(tag)), lines_(std::move(lines)), decimalSeparator_(decimalSeparator) {}

const std::string* LineCursor::Take(std::string& failure) {
  if (next_ >= lines_.size()) {
    failure = "List index out of bounds (" + std::to_string(next_) + ")";
    return nullptr;
  }
  return &lines_[next_++];
}

bool LineCursor::NextReal(float& value, std::string& failure) {
  const std::string* line = Take(failure);
  return line && ParseReal(*line, decimalSeparator_, value, failure);
}

bool LineCursor::NextInt(int32_t& value, std::string& failure) {
  const std::string* line = Take(failure);
  return line && ParseInt(*line, value, failure);
}

bool LineCursor::NextChar(char& value, std::string& failure) {
  const std::string* line = Take(failure);
  return line && ParseChar(*line, value, failure);
}

bool LineCursor::NextText(std::string& value, std::string& failure) {
  const std::string* line = Take(failure);
  if (!line) return false;
  value = std::string(TrimLine(*line));
  return true;
}

bool LineCursor::NextRaw(std::string& value, std::string& failure) {
  const std::string* line = Take(failure);
  if (!line) return false;
  value = *line;
  return true;
}

}  // namespace qx
