// DiagnoseOpenFailure: the fault of the error number and the details found by looking.
#include "platform/devicediagnosis.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/deviceproviders.h"
#include "platform/platformerror.h"
#include "platform/termiosprovider.h"

namespace talyx::platform {

namespace {

// Large enough for any entry of the user and group databases met in practice.
constexpr size_t EntryBufferSize = 16384;

std::string GroupName(gid_t gid) {
  std::vector<char> buffer(EntryBufferSize);
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::to_string(gid);
  }
  return entry.gr_name;
}

std::string UserName(uid_t uid) {
  std::vector<char> buffer(EntryBufferSize);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::to_string(uid);
  }
  return entry.pw_name;
}

}  // namespace

DeviceDiagnosis DiagnoseOpenFailure(const std::string& value, int error,
                                    const std::string& procRoot) {
  DeviceDiagnosis diagnosis;
  const bool isPath = IsDevicePath(value);
  switch (error) {
    case PeFileNotFound:
    case PePathNotFound:
      diagnosis.Fault = OpenFault::Missing;
      break;
    case PePermissionDenied: {
      diagnosis.Fault = OpenFault::PermissionDenied;
      diagnosis.User = UserName(geteuid());
      struct stat device {};
      if (isPath && stat(value.c_str(), &device) == 0) diagnosis.Group = GroupName(device.st_gid);
      break;
    }
    case PeAccessDenied:
      diagnosis.Fault = OpenFault::InUse;
      if (isPath) diagnosis.Holders = FindPortHolders(value, procRoot);
      break;
    default:
      break;
  }
  if (const auto provider = DeviceProviderOf(value))
    diagnosis.Detail = provider->FailureDetail(value);
  return diagnosis;
}

}  // namespace talyx::platform
