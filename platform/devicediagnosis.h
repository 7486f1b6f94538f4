// DiagnoseOpenFailure: why the device of a port-map value could not be opened, for the user.
//
// Principles of operation:
// - The failed open's platform error number says what went wrong; the diagnosis adds what the
//   user needs to mend it, found by looking at the device and never by opening it (an open
//   raises DTR and RTS): for a refused permission the group that owns the device and the user
//   to add to it, for a device in use the programs that hold it.
// - Values that are no path (a built-in device, a network address) get the fault and what their
//   provider says about the failure.
// - Any thread; reads the user and group databases and the proc root (replaced in tests).
#pragma once

#include <string>
#include <vector>

#include "platform/portholders.h"

namespace talyx::platform {

enum class OpenFault {
  Unknown,  // a failure that is not the device's (settings refused, ...): nothing to add
  Missing,
  PermissionDenied,
  InUse,
};

struct DeviceDiagnosis {
  OpenFault Fault = OpenFault::Unknown;
  // PermissionDenied: the group that owns the device ("" when unknown) and the user this program
  // runs as.
  std::string Group;
  std::string User;
  // InUse: the holders that can be seen; none when only another user's process holds it and this
  // program lacks the privilege to see its descriptors.
  std::vector<PortHolder> Holders;
  // The provider's own words on the failure (a network port's cause); "" when it has none.
  std::string Detail;
};

// The diagnosis of value's failed open with platform error number error (2 and 3 missing, 5
// held, 13 permission).
DeviceDiagnosis DiagnoseOpenFailure(const std::string& value, int error,
                                    const std::string& procRoot = "/proc");

}  // namespace talyx::platform
