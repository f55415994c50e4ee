#include "platform/device_services.h"
#include "platform/sim/sim_device.h"

namespace platform {

// Placeholder until the Linux device layer lands: no devices, an empty port list.
DeviceServices& SystemDeviceServices() {
  static sim::SimDeviceServices services;
  return services;
}

}  // namespace platform
