/* Calling conventions shared by the library, the service libraries and hosts.
 * The boards' interfaces are 32-bit Windows __stdcall; on x86-64 there is only
 * one convention, so the attribute would just be ignored (and warned about). */
#ifndef CARDN5_CALLCONV_H
#define CARDN5_CALLCONV_H

#if defined(_WIN32)
#define CARDN5_STDCALL __stdcall
#define CARDN5_CDECL __cdecl
#elif defined(__i386__)
#define CARDN5_STDCALL __attribute__((stdcall))
#define CARDN5_CDECL __attribute__((cdecl))
#else
#define CARDN5_STDCALL
#define CARDN5_CDECL
#endif

/* Symbols a shared library exports. On Windows the .def file decides. */
#if defined(_WIN32)
#define CARDN5_VISIBLE
#else
#define CARDN5_VISIBLE __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define CARDN5_EXTERN_C extern "C"
#else
#define CARDN5_EXTERN_C
#endif

#if defined(__GNUC__)
#define CARDN5_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define CARDN5_PRINTF(fmt, args)
#endif

#endif
