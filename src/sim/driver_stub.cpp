// Stands in for the simulated adapter driver while src/sim/driver has no
// sources: a machine without a driver, whose WMI classes and device
// requests are all missing.
#include "sim/driver_interface.h"

namespace skyfw::sim {

Driver CreateDriver(const MachineContext&) { return {}; }

}  // namespace skyfw::sim
