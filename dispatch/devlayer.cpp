// TWin32Dispatcher's device operations over the platform serial device, and TTapi32Dispatcher.
#include "dispatch/devlayer.h"

#include <cerrno>
#include <thread>

#include "platform/deviceproviders.h"
#include "platform/platformerror.h"
#include "platform/termiosserialdevice.h"

namespace talyx {

namespace {

std::unique_ptr<platform::SerialDevice> DeviceOrDefault(
    std::unique_ptr<platform::SerialDevice> device) {
  if (device != nullptr) return device;
  return std::make_unique<platform::TermiosSerialDevice>();
}

// The device object holds the descriptor; ComHandle only has to say that the device is open.
constexpr int32_t OpenDeviceHandle = 0;

constexpr int PlatformErrorCommNotOpen = 2007;

}  // namespace

TWin32Dispatcher::TWin32Dispatcher(TCustomComPort* owner,
                                   std::unique_ptr<platform::SerialDevice> device)
    : TWin32Dispatcher(owner, std::move(device), device != nullptr) {}

TWin32Dispatcher::TWin32Dispatcher(TCustomComPort* owner,
                                   std::unique_ptr<platform::SerialDevice>&& device, bool handed)
    : TBaseDispatcher(owner, DeviceOrDefault(std::move(device))), deviceHanded_(handed) {}

TWin32Dispatcher::~TWin32Dispatcher() {
  Destroy();
  // Every worker has ended (Destroy waited for ThreadCount 0): the descriptor may go.
  Device->Release();
}

ErrorCode TWin32Dispatcher::DeviceEscape(int32_t function) {
  // The escape's own result is not reported: pseudo-terminals and adapters without modem lines
  // must not make SetDTR and SetRTS fail.
  Device->Escape(function);
  return ecOK;
}

uint32_t TWin32Dispatcher::DeviceErrors(TComStatus& status) {
  platform::DeviceStatus device;
  const int err = Device->ClearErrors(device);
  status = TComStatus{};
  uint32_t errors = 0;
  if (err == 0) {
    errors = device.Errors;
    status.InQueue = device.InQueue;
  } else {
    SetDeviceError(err);
  }
  // Bytes already handed to the driver no longer count as waiting for output.
  platform::SectionGuard guard(OutLock);
  status.OutQueue = OutRingUsed();
  return errors;
}

ErrorCode TWin32Dispatcher::DeviceReadFailed(uint32_t) { return ecOK; }

ErrorCode TWin32Dispatcher::DeviceGetState(platform::LineSettings& settings) {
  if (const int err = Device->GetState(settings)) {
    SetDeviceError(err);
    return -1;
  }
  return ecOK;
}

int32_t TWin32Dispatcher::DeviceRead(uint8_t* buffer, uint32_t count) {
  const long n = Device->Read(buffer, count);
  if (n < 0) {
    SetDeviceError(static_cast<int>(-n));
    return 0;
  }
  if (n > 0) bytesRead_ += static_cast<uint64_t>(n);
  return static_cast<int32_t>(n);
}

ErrorCode TWin32Dispatcher::DeviceSetState(const platform::LineSettings& settings) {
  if (const int err = Device->SetState(settings)) {
    SetDeviceError(err);
    return -err;
  }
  return ecOK;
}

bool TWin32Dispatcher::DeviceWaitEvent(uint32_t& mask) { return Device->WaitEvent(mask); }

bool TWin32Dispatcher::DeviceSetup(uint32_t, uint32_t) {
  if (Device->IsOpen()) return true;
  SetDeviceError(platform::PeInvalidHandle);
  return false;
}

int32_t TWin32Dispatcher::DeviceOpen(const std::string& deviceName, uint32_t, uint32_t) {
  // A device closed earlier whose threads have all ended still holds its descriptor.
  if (!ThreadsActive) Device->Release();
  if (const int err = OpenNamedDevice(deviceName)) {
    SetDeviceError(err);
    return err == platform::PeOutOfMemory ? ecOutOfMemory : -1;
  }
  return OpenDeviceHandle;
}

int TWin32Dispatcher::OpenNamedDevice(const std::string& deviceName) {
  if (deviceHanded_) return Device->Open(deviceName);
  // The threads of an earlier open may still use its device: it stays, and the open fails as
  // that device's own open would while it holds its descriptor.
  if (ThreadsActive) return platform::PlatformErrorFromErrno(EINVAL);
  std::unique_ptr<platform::SerialDevice> opened;
  if (const int err = platform::OpenProvidedDevice(deviceName, opened)) return err;
  Device = std::move(opened);
  return 0;
}

ErrorCode TWin32Dispatcher::DeviceIdle() {
  std::this_thread::yield();
  return ecOK;
}

TTapi32Dispatcher::TTapi32Dispatcher(TCustomComPort* owner, int descriptor,
                                     std::unique_ptr<platform::SerialDevice> device)
    : TWin32Dispatcher(owner, std::move(device)), descriptor_(descriptor) {}

TTapi32Dispatcher::~TTapi32Dispatcher() { Destroy(); }

int32_t TTapi32Dispatcher::DeviceOpen(const std::string&, uint32_t, uint32_t) {
  if (descriptor_ < 0) {
    SetDeviceError(PlatformErrorCommNotOpen);
    return ecCommNotOpen;
  }
  const int descriptor = descriptor_;
  // The descriptor is handed over once, whether the adoption works or not.
  descriptor_ = NoDescriptor;
  if (!ThreadsActive) Device->Release();
  if (const int err = Device->Adopt(descriptor)) {
    SetDeviceError(err);
    return -1;
  }
  return descriptor;
}

}  // namespace talyx
