// Zone names and their POSIX rules, for a recorder that carries no zone
// files: the table is made at build time from the zone files of the time
// zone database (cmake/zone_table.cmake), each of which ends with the rule
// that holds after its last listed change.
#include "platform/time_zone.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "zone_table.inc"

namespace {

constexpr size_t kZoneCount = sizeof kZoneRuleOf;
static_assert(sizeof kZoneNameAt / sizeof kZoneNameAt[0] == kZoneCount + 1,
              "one start per name and the end");

std::string_view nameAt(size_t index) {
  return std::string_view(kZoneNames + kZoneNameAt[index],
                          size_t{kZoneNameAt[index + 1]} - kZoneNameAt[index]);
}

std::string_view ruleAt(size_t rule) {
  return std::string_view(kZoneRules + kZoneRuleAt[rule],
                          size_t{kZoneRuleAt[rule + 1]} - kZoneRuleAt[rule]);
}

}  // namespace

std::optional<std::string_view> zoneRuleOf(std::string_view name) {
  // The names are sorted byte by byte: a binary search over their indexes.
  size_t low = 0, high = kZoneCount;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const int order = nameAt(middle).compare(name);
    if (order == 0) return ruleAt(kZoneRuleOf[middle]);
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return std::nullopt;
}

size_t zoneCount() {
  return kZoneCount;
}

ZoneEntry zoneEntry(size_t index) {
  return {nameAt(index), ruleAt(kZoneRuleOf[index])};
}
