// TAVORIN, the setup program's support library, as a shared library ("TAVORIN.DLL") that any
// program of the machine loads at run time and calls through these C-linkage exports.
//
// Every path argument is a NUL-terminated Windows path of the emulated machine ("C:\WINDOWS\x",
// "A:\PlenovaSaver.scr") in the ANSI code page (Shift-JIS); the library maps it to a host path
// through the machine of the calling process ($PLENOVA_MACHINE, as every machine program does).
// Results are 32-bit signed integers. No failure escapes as anything but the failure result:
// text that is not valid Shift-JIS, a null pointer or a path the machine cannot map gives it too.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Compares the fixed file versions of two files (Windows PE version resources of 32- and 64-bit
// executables and libraries, or the version note of the machine's own ELF programs). Returns 1
// when both files have a version: *comparison is then positive when the source is newer than
// the destination, 0 when both are the same and negative when the source is older. Any other
// result means no comparison was possible, and *comparison is left unchanged. The files are
// read as untrusted: a damaged or hostile file gives "no version", never a crash.
int32_t CompareVersion(const char* sourcePath, const char* destinationPath, int32_t* comparison);

// Gives the destination the source's modification time, to the nanosecond. 1 on success, 0 on
// failure.
int32_t CopyFileDateTime(const char* destinationPath, const char* sourcePath);

// Loads the library and runs its DllRegisterServer export (register true, -1, or any other
// non-zero value) or its DllUnregisterServer export (register false, 0), both `int32_t (void)`
// returning an HRESULT. The library is foreign code, so it is loaded and called in a child
// process: 0 when it is no regular file, cannot be loaded, lacks the export, the export reports
// failure (a negative result), crashes, or runs for more than 60 seconds (it is then killed);
// 1 otherwise.
int32_t RegistDll(const char* libraryPath, int32_t registerFlag);

// Writes a Windows shell link file at linkPath pointing at targetPath, with `arguments` as its
// command-line arguments (none when null or empty) and the target's folder as its working
// folder; the target is named by its full Windows path. An existing link is replaced whole; a
// failure leaves no partial file. 1 on success, 0 on failure.
int32_t CreateShortcut(const char* linkPath, const char* targetPath, const char* arguments);

#ifdef __cplusplus
}
#endif
