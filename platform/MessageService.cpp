#include <atomic>

#include "platform/MessageBox.h"

namespace platform {

namespace {
std::atomic<MessageService*> current{nullptr};
}

MessageService& messageService() {
    MessageService* service = current.load(std::memory_order_acquire);
    return service ? *service : systemMessageService();
}

MessageService* setMessageService(MessageService* service) {
    return current.exchange(service, std::memory_order_acq_rel);
}

}  // namespace platform
