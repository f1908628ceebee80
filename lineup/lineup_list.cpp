// Storage of the channel lists. Nodes and their names never move, so the
// pointers handed out stay valid for as long as the library is loaded.
//
// The library links no C++ runtime: nothing runs when it is loaded and the
// recorder needs nothing beside the C library. So the storage takes its
// memory straight from the C library's allocator, and one owner gives it all
// back when the library goes.
#include <cstdlib>
#include <cstring>
#include <new>

#include "lineup/lineup_internal.h"

namespace {

// One allocation: a node, with its NUL-terminated name right behind it.
struct ChannelBlock {
  ChannelBlock* older;  // the block allocated before this one
  Channel node;
};

// Owner of every block the library has allocated, newest first.
class BlockStore {
 public:
  constexpr BlockStore() = default;
  BlockStore(const BlockStore&) = delete;
  BlockStore& operator=(const BlockStore&) = delete;
  ~BlockStore() {
    while (newest_ != nullptr) {
      ChannelBlock* older = newest_->older;
      newest_->~ChannelBlock();
      std::free(newest_);
      newest_ = older;
    }
  }

  // A new node holding a copy of name, next null; null when out of memory.
  // Names are bounded by the line buffer or the record, so the size cannot
  // overflow.
  Channel* add(int16_t number, int16_t altNumber, std::string_view name) {
    void* memory = std::malloc(sizeof(ChannelBlock) + name.size() + 1);
    if (memory == nullptr) return nullptr;
    char* text = static_cast<char*>(memory) + sizeof(ChannelBlock);
    if (!name.empty()) std::memcpy(text, name.data(), name.size());
    text[name.size()] = '\0';
    newest_ = ::new (memory) ChannelBlock{newest_, Channel{number, altNumber, text, nullptr}};
    return &newest_->node;
  }

 private:
  ChannelBlock* newest_ = nullptr;
};

// The one store, made on first use.
BlockStore& blockStore() {
  static BlockStore store;
  return store;
}

}  // namespace

bool lineupAppendChannel(ChannelListBuilder& list, int16_t number, int16_t altNumber,
                         std::string_view name) {
  Channel* node = blockStore().add(number, altNumber, name);
  if (node == nullptr) return false;
  if (list.tail == nullptr) {
    list.head = node;
  } else {
    list.tail->next = node;
  }
  list.tail = node;
  return true;
}
