#include "app/adapters/DeviceAdapters.h"

#include "device/Recalibration.h"

namespace zorvi {

bool TSerialRecalibration::RunRecalibration() {
    return zorvi::RunRecalibration(Link, Device.DevicePort());
}

} // namespace zorvi
