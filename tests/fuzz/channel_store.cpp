#include "tests/fuzz/channel_store.h"

#include <list>
#include <string>

#include "lineup/lineup_internal.h"

namespace {

struct StoredChannel {
  Channel node;
  std::string name;
};

// A list: its elements never move, so the nodes' pointers stay valid.
std::list<StoredChannel> channels;

}  // namespace

bool lineupAppendChannel(ChannelListBuilder& list, int16_t number, int16_t altNumber,
                         std::string_view name) {
  StoredChannel& stored = channels.emplace_back();
  stored.name.assign(name.data(), name.size());
  stored.node = Channel{number, altNumber, stored.name.c_str(), nullptr};
  if (list.tail == nullptr) {
    list.head = &stored.node;
  } else {
    list.tail->next = &stored.node;
  }
  list.tail = &stored.node;
  return true;
}

void fuzzClearChannels() {
  channels.clear();
}
