// Replaces the C++ runtime's verbose terminate handler, which prints the type of an
// uncaught exception and drags the whole symbol demangler (about 45 KB) into every
// program. The programs catch what they throw at each boundary; terminating is then a
// plain abort.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
