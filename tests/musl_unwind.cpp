// Exceptions in the musl release build: the static C++ runtime finds the
// unwind tables of the running program through _dl_find_object, which the
// release build supplies on top of dl_iterate_phdr. Run under qemu-mipsel with
// nothing but the musl loader; exits non-zero and says why on any failure.
#include <cstdio>
#include <stdexcept>
#include <string>

extern "C" {
struct dl_find_object {
  unsigned long long dlfo_flags;
  void* dlfo_map_start;
  void* dlfo_map_end;
  void* dlfo_link_map;
  void* dlfo_eh_frame;
  unsigned long long reserved[7];
};
int _dl_find_object(void* pc, dl_find_object* result);
}

namespace {

int failures = 0;
int destroyed = 0;

void expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "FAILED: %s\n", what);
    ++failures;
  }
}

struct CountsDestruction {
  std::string name;
  ~CountsDestruction() { ++destroyed; }
};

__attribute__((noinline)) void throwFromDepth(int depth) {
  CountsDestruction local{"frame " + std::to_string(depth)};
  if (depth == 0) throw std::runtime_error("thrown at depth 0");
  throwFromDepth(depth - 1);
}

}  // namespace

int main() {
  // The lookup itself: the program's own code is found with its unwind
  // table index inside its mapping; an address no object holds is not.
  dl_find_object found{};
  void* code = reinterpret_cast<void*>(&throwFromDepth);
  expect(_dl_find_object(code, &found) == 0, "_dl_find_object finds the program's code");
  expect(found.dlfo_map_start <= code && code < found.dlfo_map_end,
         "the found mapping holds the code address");
  expect(found.dlfo_eh_frame != nullptr, "the program has an unwind table index");
  expect(found.dlfo_map_start <= found.dlfo_eh_frame && found.dlfo_eh_frame < found.dlfo_map_end,
         "the unwind table index lies in the program's mapping");
  dl_find_object none{};
  expect(_dl_find_object(reinterpret_cast<void*>(16), &none) == -1,
         "an unmapped address is not found");

  // A throw through several frames reaches its handler and runs every
  // destructor on the way.
  std::string caught;
  try {
    throwFromDepth(5);
  } catch (const std::runtime_error& e) {
    caught = e.what();
  }
  expect(caught == "thrown at depth 0", "the exception reaches its handler with its message");
  expect(destroyed == 6, "every frame's destructor ran during unwinding");

  // The runtime's own throws unwind as well.
  bool outOfRange = false;
  try {
    std::string("abc").at(7);
  } catch (const std::out_of_range&) {
    outOfRange = true;
  }
  expect(outOfRange, "std::string::at throws std::out_of_range");

  if (failures == 0) std::printf("exceptions unwind under musl\n");
  return failures == 0 ? 0 : 1;
}
