// Linked the MinGW default way (runtime DLLs, not static) only so that the
// import check can be shown to reject a MinGW runtime DLL import.
#include <string>

extern "C" __declspec(dllexport) int ProbeLength(const char* text) {
  return static_cast<int>(std::string(text ? text : "").size());
}
