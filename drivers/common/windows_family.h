/*
 * The one test that tells the Windows 95 family (95, 98, Me) from the NT
 * family. The drivers decide with it how far they may reach into the
 * machine (the 95 family lets a program read processor I/O ports), so it
 * takes the version word as an argument and the decisions built on it can
 * be tested on any system.
 */
#ifndef KESTREL_DRIVERS_COMMON_WINDOWS_FAMILY_H
#define KESTREL_DRIVERS_COMMON_WINDOWS_FAMILY_H

#include <cstdint>

// `versionWord` as GetVersion() returns it: the 95 family sets the top bit
// and reports a major version (low byte) of 4 or more.
bool IsWindows95Family(uint32_t versionWord);

#endif
