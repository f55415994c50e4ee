#include "platform/device_services.h"
#include "platform/posix/posix_device.h"

namespace platform {

DeviceServices& SystemDeviceServices() {
  static posix::PosixDeviceServices services;
  return services;
}

}  // namespace platform
