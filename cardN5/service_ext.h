// Run-time lookup of an extension of a service library. The library links
// only the service functions the in-house DLLs have; when our own stand-ins
// are loaded instead, their extra entry points are found here, so that the
// same binary runs against the real DLLs (lookup fails, hardware path) and
// against the simulator.
#ifndef CARDN5_SERVICE_EXT_H
#define CARDN5_SERVICE_EXT_H

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace cardn5 {

// anchor: a function the library imports from that service library, which
// tells (on Linux) which shared object actually provides it. The DLLs export
// stdcall functions under their decorated names, so Windows looks up
// winSymbol ("_Name@bytes") where Linux looks up the plain symbol.
inline void* FindServiceExtension(const void* anchor, const char* dllName, const char* symbol, const char* winSymbol) {
#if defined(_WIN32)
  (void)anchor;
  (void)symbol;
  HMODULE module = GetModuleHandleA(dllName);
  return module ? reinterpret_cast<void*>(GetProcAddress(module, winSymbol)) : nullptr;
#else
  (void)dllName;
  (void)winSymbol;
  Dl_info info;
  if (!dladdr(anchor, &info) || !info.dli_fname) return nullptr;
  void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  if (!handle) return nullptr;
  void* fn = dlsym(handle, symbol);
  dlclose(handle);  // drops only the reference taken above
  return fn;
#endif
}

}  // namespace cardn5

#endif
