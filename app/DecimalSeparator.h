// The user's decimal separator, read from the locale environment variables.
// The locale of the process is never changed or consulted.
#pragma once

#include <string_view>

namespace qx {

// The decimal separator of a locale name such as "de_DE.UTF-8" (',') or
// "en_US.UTF-8" ('.'). Asks the C library for an installed locale through a
// locale object of its own, never the process's global locale; a locale that
// is not installed is judged by its language and territory.
char DecimalSeparatorOfLocale(std::string_view localeName);

// The user's decimal separator: the locale named by LC_ALL, else LC_NUMERIC,
// else LANG (the first one set and not empty); '.' when none is set.
char DecimalSeparatorFromEnvironment();

}  // namespace qx
