// Force-included, after websched/glibc_compat.h, into GoogleTest and the zone
// table runner of the musl release build (tests/musl_release.cmake): they use
// the parts of Debian's cross libstdc++ headers that the program leaves out
// (locales, timed mutex waits), which name further glibc-only things.
#pragma once

#ifdef __cplusplus
#include <bits/c++config.h>

// musl has no waits on a chosen clock; the timed waits use the realtime ones.
#undef _GLIBCXX_USE_PTHREAD_COND_CLOCKWAIT
#undef _GLIBCXX_USE_PTHREAD_MUTEX_CLOCKLOCK
#undef _GLIBCXX_USE_PTHREAD_RWLOCK_CLOCKLOCK

// The character class bits of glibc's <ctype.h> (little-endian), which
// bits/ctype_base.h names. Only the names are needed: GoogleTest and the
// tests classify characters with <cctype>, never through std::ctype, whose
// table libstdc++ reads from glibc's layout of a locale.
enum {
  _ISupper = 0x100,
  _ISlower = 0x200,
  _ISalpha = 0x400,
  _ISdigit = 0x800,
  _ISxdigit = 0x1000,
  _ISspace = 0x2000,
  _ISprint = 0x4000,
  _ISgraph = 0x8000,
  _ISblank = 0x1,
  _IScntrl = 0x2,
  _ISpunct = 0x4,
  _ISalnum = 0x8
};
#endif
