// The errno to platform error number table.
#include "platform/platformerror.h"

#include <cerrno>

namespace talyx::platform {

namespace {

struct ErrnoMapping {
  int Errno;
  int Platform;
};

// errno values with a meaning of their own in the engine's vocabulary.
constexpr ErrnoMapping kErrnoTable[] = {
    {ENOENT, PeFileNotFound},     {ENODEV, PeFileNotFound},     {ENXIO, PeFileNotFound},
    {EIO, PeFileNotFound},        {ENOTDIR, PePathNotFound},    {EMFILE, PeTooManyOpenFiles},
    {ENFILE, PeTooManyOpenFiles}, {EBUSY, PeAccessDenied},      {EWOULDBLOCK, PeAccessDenied},
    {ENOMEM, PeOutOfMemory},      {EACCES, PePermissionDenied}, {EPERM, PePermissionDenied},
};

struct IdRange {
  int First;
  int Last;
};

// Ids of the error string table that carry a text of their own; fixed with the table.
constexpr IdRange kTableIds[] = {{0, 0},   {2, 6},     {8, 8},    {15, 15},
                                 {18, 18}, {100, 105}, {150, 162}};

}  // namespace

bool HasErrorTableText(int id) {
  for (const IdRange& range : kTableIds) {
    if (id >= range.First && id <= range.Last) return true;
  }
  return false;
}

int PlatformErrorFromErrno(int err) {
  if (err <= 0) return PeGeneralFailure;
  for (const ErrnoMapping& mapping : kErrnoTable) {
    if (mapping.Errno == err) return mapping.Platform;
  }
  return HasErrorTableText(err) ? PeGeneralFailure : err;
}

}  // namespace talyx::platform
