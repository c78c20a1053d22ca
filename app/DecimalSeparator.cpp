#include "app/DecimalSeparator.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace qx {
namespace {

// Languages whose usual decimal separator is the comma, and the territories
// of those languages that use the point instead. Only consulted for locales
// that are not installed on this machine.
constexpr std::string_view kCommaLanguages[] = {
    "af", "az", "be", "bg", "bs", "ca", "cs", "da", "de", "el", "es", "et", "eu", "fi",
    "fo", "fr", "gl", "hr", "hu", "hy", "id", "is", "it", "ka", "kk", "ky", "lt", "lv",
    "mk", "mn", "nb", "nl", "nn", "no", "pl", "pt", "ro", "ru", "sk", "sl", "sq", "sr",
    "sv", "tr", "uk", "uz", "vi"};
constexpr std::string_view kPointTerritories[] = {
    "de_CH", "de_LI", "it_CH", "es_MX", "es_US", "es_PR", "es_DO", "es_GT", "es_HN",
    "es_NI", "es_PA", "es_SV"};

char SeparatorByName(std::string_view name) {
  std::string_view base = name.substr(0, name.find_first_of(".@"));
  std::string_view language = base.substr(0, base.find('_'));
  for (std::string_view t : kPointTerritories)
    if (base == t) return '.';
  for (std::string_view l : kCommaLanguages)
    if (language == l) return ',';
  return '.';
}

}  // namespace

char DecimalSeparatorOfLocale(std::string_view localeName) {
  if (localeName.empty() || localeName == "C" || localeName == "POSIX" ||
      localeName.starts_with("C."))
    return '.';
  std::string name(localeName);
  locale_t locale = newlocale(LC_NUMERIC_MASK, name.c_str(), static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return SeparatorByName(localeName);
  const char* radix = nl_langinfo_l(RADIXCHAR, locale);
  // A separator that is not one ASCII character cannot appear in a case file.
  char separator = (radix && std::strlen(radix) == 1) ? radix[0] : '.';
  freelocale(locale);
  return separator;
}

char DecimalSeparatorFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return DecimalSeparatorOfLocale(value);
  }
  return '.';
}

}  // namespace qx
