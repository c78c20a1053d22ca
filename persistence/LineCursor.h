// Hands out the value lines of a compressed line file one by one, strictly
// in order, each trimmed and converted by its kind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

// Splits decoded text into lines: a line ends at CR LF, a lone LF or a lone
// CR; characters after the last line break form one more line; an empty
// text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

class LineCursor {
 public:
  LineCursor() = default;
  // `lines` are the value lines after `tag`; reals use `decimalSeparator`.
  LineCursor(std::string tag, std::vector<std::string> lines, char decimalSeparator);

  // The file's tag line (empty for a file without lines).
  const std::string& Tag() const { return tag_; }

  // Each takes the next line. On failure they return false with the text
  // the user is shown: a conversion failure of RealText.h or CharText.h, or
  // "List index out of bounds (<n>)" when no line is left (n is the
  // zero-based position of the requested line after the tag). A failed
  // conversion still uses up its line; a missing one does not.
  bool NextReal(float& value, std::string& failure);
  bool NextInt(int32_t& value, std::string& failure);
  bool NextChar(char& value, std::string& failure);
  bool NextText(std::string& value, std::string& failure);

  // The next line exactly as stored, not trimmed (for listings).
  bool NextRaw(std::string& value, std::string& failure);

  // Zero-based position of the next line after the tag.
  std::size_t Position() const { return next_; }

 private:
  const std::string* Take(std::string& failure);

  std::string tag_;
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
  char decimalSeparator_ = '.';
};

}  // namespace qx
