#include <atomic>

#include "platform/Desktop.h"

namespace platform {

namespace {
std::atomic<DesktopService*> current{nullptr};
}

DesktopService& desktopService() {
    DesktopService* service = current.load(std::memory_order_acquire);
    return service ? *service : systemDesktopService();
}

DesktopService* setDesktopService(DesktopService* service) {
    return current.exchange(service, std::memory_order_acq_rel);
}

}  // namespace platform
