// AddressSanitizer builds only: keeps Mesa's software OpenGL driver loaded
// until the process ends. Mesa unloads it with the last GL context, before
// the leak check at exit runs; the driver's own allocations then show with
// addresses of no library, which tests/lsan.supp cannot name, and a window
// test would fail on leaks that are not this project's. Loaded here with
// RTLD_NODELETE, the driver stays mapped, so its leaks are reported under
// its name and matched by the suppression file. Nothing else changes: Mesa
// finds the same library already loaded and uses it as before.
#if defined(__SANITIZE_ADDRESS__) && defined(ZOV_MESA_SOFTWARE_DRIVER)
#include <dlfcn.h>

namespace {
const bool g_driverKept = [] {
  return dlopen(ZOV_MESA_SOFTWARE_DRIVER, RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE) != nullptr;
}();
}  // namespace
#endif
