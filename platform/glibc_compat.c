// The glibc functions and data that Debian's cross libstdc++ and libgcc (built
// against glibc) refer to, written on top of musl for the release build, where
// the C++ runtime is linked statically into each binary.
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/random.h>
#include <unistd.h>

// libstdc++ skips atomic reference counting while this is non-zero. glibc sets
// it while a process has one thread; zero is always safe.
char __libc_single_threaded = 0;

// glibc's layout of the result of _dl_find_object on 32-bit MIPS (no eh_dbase,
// no eh_count members).
struct dl_find_object {
  unsigned long long dlfo_flags;
  void* dlfo_map_start;
  void* dlfo_map_end;
  struct link_map* dlfo_link_map;
  void* dlfo_eh_frame;
  unsigned long long __dlfo_reserved[7];
};

struct find_object_search {
  uintptr_t pc;
  struct dl_find_object* result;
};

// dl_iterate_phdr callback: when one of the object's loaded segments holds the
// address, fills in the object's mapped range and its PT_GNU_EH_FRAME segment
// (the sorted index of its unwind tables) and stops the walk.
static int find_object_in(struct dl_phdr_info* info, size_t size, void* data) {
  (void)size;
  struct find_object_search* search = data;
  int holds_pc = 0;
  uintptr_t start = UINTPTR_MAX;
  uintptr_t end = 0;
  void* eh_frame = NULL;
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)* phdr = &info->dlpi_phdr[i];
    uintptr_t seg = (uintptr_t)info->dlpi_addr + phdr->p_vaddr;
    if (phdr->p_type == PT_LOAD) {
      if (search->pc >= seg && search->pc - seg < phdr->p_memsz) holds_pc = 1;
      if (seg < start) start = seg;
      if (seg + phdr->p_memsz > end) end = seg + phdr->p_memsz;
    } else if (phdr->p_type == PT_GNU_EH_FRAME) {
      eh_frame = (void*)seg;
    }
  }
  if (!holds_pc) return 0;
  search->result->dlfo_flags = 0;
  search->result->dlfo_map_start = (void*)start;
  search->result->dlfo_map_end = (void*)end;
  search->result->dlfo_link_map = NULL;
  search->result->dlfo_eh_frame = eh_frame;
  return 1;
}

// libgcc's unwinder asks this for the unwind tables of the object that holds a
// return address; without an answer an exception ends the program. Returns 0
// and fills *result when a loaded object holds pc, -1 otherwise.
int _dl_find_object(void* pc, struct dl_find_object* result) {
  struct find_object_search search = {(uintptr_t)pc, result};
  return dl_iterate_phdr(find_object_in, &search) ? 0 : -1;
}

// Random 32-bit value from the kernel (std::random_device). Never fails: with
// no random source at all the program stops rather than return a guess.
uint32_t arc4random(void) {
  uint32_t value;
  unsigned char* out = (unsigned char*)&value;
  size_t got = 0;
  while (got < sizeof value) {
    ssize_t n = getrandom(out + got, sizeof value - got, 0);
    if (n > 0) {
      got += (size_t)n;
    } else if (n < 0 && errno == ENOSYS) {
      int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
      if (fd < 0) abort();
      while (got < sizeof value) {
        n = read(fd, out + got, sizeof value - got);
        if (n > 0) {
          got += (size_t)n;
        } else if (n == 0 || errno != EINTR) {
          abort();
        }
      }
      close(fd);
    } else if (n < 0 && errno != EINTR) {
      abort();
    }
  }
  return value;
}
