// Force-included into every C++ file of the musl release build (see
// cmake/mipsel-linux-musl.cmake). Debian's cross libstdc++ was configured
// against glibc, and its headers use two glibc-only names that musl lacks.
#pragma once

#include <locale.h>

// bits/os_defines.h picks features by glibc version. For those it asks about
// (2.15: no gets; 2.23: no obsolete isinf/isnan overloads; 2.27: pthread_self
// as the thread id; 2.34: threads in the C library itself, no weak pthread
// references) musl behaves like glibc 2.34.
#ifndef __GLIBC_PREREQ
#define __GLIBC_PREREQ(major, minor) ((major) < 2 || ((major) == 2 && (minor) <= 34))
#endif

// bits/c++locale.h names the locale handle by glibc's internal name.
#ifdef __cplusplus
typedef locale_t __locale_t;
#endif
