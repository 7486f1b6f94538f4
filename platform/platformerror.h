// PlatformErrorFromErrno: turns an errno value into the platform error number the engine reports.
//
// Principles of operation:
// - Platform error numbers are positive; the engine negates them into error codes, and the
//   error string table gives the texts of its own ids (2 "File not found", 5 "File access
//   denied", ...). An errno whose number happens to be one of those ids but means something
//   else would be shown with the wrong text, so such numbers become 162 "General failure".
// - The errno that names a known situation is turned into the id that describes it: a missing
//   or vanished device 2, a missing folder 3, too many open files 4, a device held by another
//   program 5, no memory 8, no permission 13 (errno's own number and text).
// - Pure function; any thread. Callers capture errno right after the failing call.
#pragma once

namespace talyx::platform {

// Platform error numbers this layer produces by name.
inline constexpr int PeFileNotFound = 2;
inline constexpr int PePathNotFound = 3;
inline constexpr int PeTooManyOpenFiles = 4;
inline constexpr int PeAccessDenied = 5;
inline constexpr int PeInvalidHandle = 6;
inline constexpr int PeOutOfMemory = 8;
inline constexpr int PePermissionDenied = 13;
inline constexpr int PeGeneralFailure = 162;

// The platform error number for err (an errno value captured after a failed call). Zero or a
// negative value (a failure that left no errno) gives PeGeneralFailure, never 0: a failure must
// not read as success.
int PlatformErrorFromErrno(int err);

// True when id has a text of its own in the error string table (0, 2-6, 8, 15, 18, 100-105,
// 150-162).
bool HasErrorTableText(int id);

}  // namespace talyx::platform
