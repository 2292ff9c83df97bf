#include <atomic>

#include "platform/Desktop.h"

namespace platform {

namespace {

std::atomic<DesktopService*> current{nullptr};

class FinishedDialog final : public Dialog {
  public:
    explicit FinishedDialog(DialogAnswer answer) : answer_(std::move(answer)) {}
    DialogAnswer poll() override { return answer_; }

  private:
    DialogAnswer answer_;
};

}  // namespace

std::unique_ptr<Dialog> finishedDialog(DialogAnswer answer) {
    return std::make_unique<FinishedDialog>(std::move(answer));
}

DesktopService& desktopService() {
    DesktopService* service = current.load(std::memory_order_acquire);
    return service ? *service : systemDesktopService();
}

DesktopService* setDesktopService(DesktopService* service) {
    return current.exchange(service, std::memory_order_acq_rel);
}

}  // namespace platform
