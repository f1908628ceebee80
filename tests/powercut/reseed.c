/* Seeds the emulated recorder's random generator from the host: mixes the
 * bytes on standard input (hex text, four bits of entropy a character) into
 * the kernel's pool, credits them, and asks for an immediate reseed.
 *
 * At boot it stands in for the seed file a recorder restores, so that the
 * first request needing random bytes (the sign-in page's form token) never
 * waits for the emulated machine to gather entropy of its own. The power-cut
 * test also runs it after each restore of its one saved machine state;
 * without that every restored recorder would hand out the same session ids. */
#include <fcntl.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#ifndef RNDADDENTROPY
#define RNDADDENTROPY _IOW('R', 0x03, int[2])
#endif
#ifndef RNDRESEEDCRNG
#define RNDRESEEDCRNG _IO('R', 0x07)
#endif

/* The kernel's struct rand_pool_info with room for the bytes. */
struct pool_info {
  int entropy_count;
  int buf_size;
  unsigned char buf[256];
};

int main(void) {
  struct pool_info info;
  memset(&info, 0, sizeof info);
  ssize_t size = read(0, info.buf, sizeof info.buf);
  int fd = open("/dev/urandom", O_WRONLY);
  if (size <= 0 || fd < 0) return 1;
  info.buf_size = (int)size;
  info.entropy_count = 4 * (int)size;
  if (ioctl(fd, RNDADDENTROPY, &info) != 0) return 1;
  if (ioctl(fd, RNDRESEEDCRNG) != 0) return 1;
  return close(fd) != 0;
}
