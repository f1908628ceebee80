/* Re-keys the emulated recorder's random generator: mixes the bytes on
 * standard input into the kernel's pool and asks for an immediate reseed
 * (RNDRESEEDCRNG). The power-cut test restores one saved machine state again
 * and again, each time with the same generator state; without this every
 * restored recorder would hand out the same session ids. */
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#ifndef RNDRESEEDCRNG
#define RNDRESEEDCRNG _IO('R', 0x07)
#endif

int main(void) {
  unsigned char bytes[256];
  ssize_t size = read(0, bytes, sizeof bytes);
  int fd = open("/dev/urandom", O_WRONLY);
  if (size <= 0 || fd < 0) return 1;
  if (write(fd, bytes, (size_t)size) != size) return 1;
  if (ioctl(fd, RNDRESEEDCRNG) != 0) return 1;
  return close(fd) != 0;
}
