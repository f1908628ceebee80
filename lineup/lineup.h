/* Channel list of the recorder: the one interface of liblineup.so.
 *
 * Shared by the library and the program. The list, its nodes and names
 * belong to the library and live until the process ends; callers only read. */
#ifndef LINEUP_LINEUP_H
#define LINEUP_LINEUP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Channel {
  int16_t number;          /* the number timers refer to a channel by */
  int16_t altNumber;       /* shown in parentheses when it differs */
  const char* name;        /* display name, owned by the library */
  struct Channel* next;    /* null at the end of the list */
} Channel;

/* Head of the channel list in file order, or null when no channel could be
 * read. After the first call that found channels, the same list is returned
 * without reading the file again. */
Channel* getChannels(void);

#ifdef __cplusplus
}
#endif

#endif
