// The glibc name under which Debian's libstdc++ formats times for its locale
// facets (std::time_put, reached through GoogleTest's streams); musl has the
// same function as strftime_l.
#include <locale.h>
#include <stddef.h>
#include <time.h>

size_t __strftime_l(char* text, size_t size, const char* format, const struct tm* fields,
                    locale_t locale) {
  return strftime_l(text, size, format, fields, locale);
}
