// The call sites of exitIfError: every statement on the timer database that
// can fail has a number of its own, and the "SQL error code" line names it, so
// that the text tells which statement failed. This list is the one place the
// numbers are written. They are fixed: a number once printed keeps its meaning
// in reports and tests, so a new site takes a free number of its group's range.
#pragma once

// The groups of sites and the range of numbers that each may use.
// G(group, first, last)
// clang-format off
#define SKEDRA_FAILURE_SITE_GROUPS(G) \
  G(Entry, 1, 7)     /* the request entry */                       \
  G(Actions, 8, 19)  /* group actions, title lookup, execSQL */    \
  G(Write, 20, 29)   /* create and update of a timer row */        \
  G(Padding, 30, 49) /* the settings table and its triggers */     \
  G(Rows, 50, 59)    /* the reading of the timer rows */           \
  G(List, 60, 69)    /* the list screen's read transaction */

// X(name, group, number)  what fails there
#define SKEDRA_FAILURE_SITES(X) \
  X(kOpenTimerDb, Entry, 1)                 /* opening the timer database */                    \
  X(kEntryWriteBegin, Entry, 2)             /* beginning the write of a timer form */           \
  X(kEntryWriteCommit, Entry, 3)            /* committing the write of a timer form */          \
  X(kEntryEditRead, Entry, 4)               /* beginning the read of an edited timer's title */ \
  X(kGroupBegin, Actions, 8)                /* beginning a group action or a clone */           \
  X(kGroupCommit, Actions, 9)               /* committing a group action */                     \
  X(kGroupPrepare, Actions, 10)             /* preparing the group action's statement */        \
  X(kGroupReset, Actions, 11)               /* resetting it before the next key */              \
  X(kGroupBindSourceBase, Actions, 12)      /* binding ":sourceBase" */                         \
  X(kGroupBindId, Actions, 13)              /* binding ":id" */                                 \
  X(kGroupStep, Actions, 14)                /* stepping it for one key */                       \
  X(kExecPrepare, Actions, 15)              /* preparing an execSQL statement */                \
  X(kExecStep, Actions, 16)                 /* stepping an execSQL statement */                 \
  X(kLookupPrepare, Actions, 17)            /* preparing the lookup of a timer's title */       \
  X(kLookupBind, Actions, 18)               /* binding its ":id" */                             \
  X(kLookupStep, Actions, 19)               /* stepping it */                                   \
  X(kTimerWritePrepare, Write, 20)          /* preparing the insert or update of a row */       \
  X(kTimerWriteBindId, Write, 21)           /* binding ":id" of an update */                    \
  X(kTimerWriteBindValue, Write, 22)        /* binding one of the row's numbers */              \
  X(kTimerWriteBindTitle, Write, 23)        /* binding the row's title */                       \
  X(kTimerWriteStep, Write, 24)             /* stepping the write */                            \
  X(kSettingsReadPrepare, Padding, 30)      /* preparing the read of the defaults */            \
  X(kSettingsReadReset, Padding, 31)        /* resetting it before the second name */           \
  X(kSettingsReadBind, Padding, 32)         /* binding the setting's name */                    \
  X(kSettingsReadStep, Padding, 33)         /* stepping the read */                             \
  X(kSettingsSaveBegin, Padding, 34)        /* beginning the save of the defaults */            \
  X(kSettingsUpdatePrepare, Padding, 35)    /* preparing the update of the rows */              \
  X(kSettingsInsertPrepare, Padding, 36)    /* preparing the insert into a new table */         \
  X(kSettingsSaveReset, Padding, 37)        /* resetting the update or insert */                \
  X(kSettingsSaveBindName, Padding, 38)     /* binding its ":name" */                           \
  X(kSettingsSaveBindValue, Padding, 39)    /* binding its ":value" */                          \
  X(kSettingsSaveStep, Padding, 40)         /* stepping it */                                   \
  X(kSettingsMissingPrepare, Padding, 41)   /* preparing the insert of a missing row */         \
  X(kSettingsMissingReset, Padding, 42)     /* resetting it */                                  \
  X(kSettingsMissingBindName, Padding, 43)  /* binding its ":name" */                           \
  X(kSettingsMissingBindValue, Padding, 44) /* binding its ":value" */                          \
  X(kSettingsMissingStep, Padding, 45)      /* stepping it */                                   \
  X(kSettingsSaveCommit, Padding, 46)       /* committing the save of the defaults */           \
  X(kTriggersPrepare, Padding, 47)          /* preparing the count of padding triggers */       \
  X(kTriggersStep, Padding, 48)             /* stepping it */                                   \
  X(kRowsPrepare, Rows, 50)                 /* preparing the row query of the list */           \
  X(kRowsStep, Rows, 51)                    /* stepping it: reading one row */                  \
  X(kRowsReset, Rows, 52)                   /* resetting it after the last row */               \
  X(kSchedulesPrepare, Rows, 53)            /* preparing the row query of the entry checks */   \
  X(kSchedulesStep, Rows, 54)               /* stepping it */                                   \
  X(kSchedulesReset, Rows, 55)              /* resetting it after the last row */               \
  X(kListReadBegin, List, 60)               /* beginning the read of defaults and rows */       \
  X(kListReadEnd, List, 61)                 /* ending it */
// clang-format on

// The site handed to exitIfError; its value is the number the line prints.
enum class FailureSite : int {
#define SKEDRA_FAILURE_SITE_ENUMERATOR(name, group, number) name = number,
  SKEDRA_FAILURE_SITES(SKEDRA_FAILURE_SITE_ENUMERATOR)
#undef SKEDRA_FAILURE_SITE_ENUMERATOR
};

namespace failure_sites {

enum class Group : int {
#define SKEDRA_FAILURE_SITE_GROUP_ENUMERATOR(group, first, last) k##group,
  SKEDRA_FAILURE_SITE_GROUPS(SKEDRA_FAILURE_SITE_GROUP_ENUMERATOR)
#undef SKEDRA_FAILURE_SITE_GROUP_ENUMERATOR
};

struct Range {
  int first;
  int last;
};

// Indexed by Group.
inline constexpr Range kRanges[] = {
#define SKEDRA_FAILURE_SITE_RANGE(group, first, last) {first, last},
    SKEDRA_FAILURE_SITE_GROUPS(SKEDRA_FAILURE_SITE_RANGE)
#undef SKEDRA_FAILURE_SITE_RANGE
};

struct Entry {
  int number;
  Group group;
};

inline constexpr Entry kEntries[] = {
#define SKEDRA_FAILURE_SITE_ENTRY(name, group, number) {number, Group::k##group},
    SKEDRA_FAILURE_SITES(SKEDRA_FAILURE_SITE_ENTRY)
#undef SKEDRA_FAILURE_SITE_ENTRY
};

// The ranges are ordered, do not overlap and start above 0 (0 is success).
constexpr bool rangesDisjoint() {
  int previousLast = 0;
  for (const Range& range : kRanges) {
    if (range.first <= previousLast || range.last < range.first) return false;
    previousLast = range.last;
  }
  return true;
}

// Every site lies in the range of its own group.
constexpr bool sitesInTheirRanges() {
  for (const Entry& entry : kEntries) {
    const Range& range = kRanges[static_cast<int>(entry.group)];
    if (entry.number < range.first || entry.number > range.last) return false;
  }
  return true;
}

// No two sites share a number.
constexpr bool numbersUnique() {
  constexpr int count = sizeof kEntries / sizeof kEntries[0];
  for (int i = 0; i < count; ++i) {
    for (int j = i + 1; j < count; ++j) {
      if (kEntries[i].number == kEntries[j].number) return false;
    }
  }
  return true;
}

static_assert(rangesDisjoint(), "failure site ranges must be ordered and disjoint");
static_assert(sitesInTheirRanges(), "a failure site lies outside its group's range");
static_assert(numbersUnique(), "two failure sites share a number");

}  // namespace failure_sites
