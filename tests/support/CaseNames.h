// Readable names for the cases of parameterised test suites. A case name may
// hold only letters, digits and '_', and must be unique within its suite.
#pragma once

#include <string>
#include <string_view>

namespace qx::test {

// A number as a name part, in its shortest exact form: 199.5 -> "199p5",
// -2 -> "Minus2", 1e+30 -> "1e30".
std::string NumberName(double value);
std::string NumberName(float value);

// A text as a name part, each character kept apart from the others: letters
// and digits as they are, "-" -> "Minus", "+" -> "Plus", "." -> "Dot",
// "," -> "Comma", " " -> "Sp", any other byte as "x" and two hex digits
// ("\t" -> "x09"); the empty text is "Empty". A name longer than 40
// characters keeps its first 24, then the text's length and a hash of the
// text ("...Of400CharsHash1A2B3C4D"), so long texts stay apart.
std::string TextName(std::string_view text);

}  // namespace qx::test
