// What the program does with an exception that nothing catches (memory
// exhausted, a text too long for std::string): it says so on standard error
// and aborts. The C++ runtime's default handler prints the exception's type
// name demangled, and with it comes the whole demangler, about 50 KB of the
// program on the recorder, for a message that no user sees. The runtime
// refers to its default by name, so std::set_terminate could only replace
// it, never keep it out of the link: the program defines that name itself.
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  std::fputs("skedra: ended by an exception that nothing caught\n", stderr);
  std::abort();
}

}  // namespace __gnu_cxx
