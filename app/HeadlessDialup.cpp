#include "app/HeadlessDialup.h"

#include "net/RasCodes.h"
#include "platform/Window.h"
#include "project/DialupSettings.h"

namespace qlm {

class HeadlessDialup::OwnerWindow final : public Window {
 public:
  explicit OwnerWindow(StatusListener status) : status_(std::move(status)) {}
  ~OwnerWindow() override { Destroy(); }

 protected:
  LResult WindowProc(Message& msg) override {
    if (msg.message != CRasMan::kNoticeMessage) return 0;
    const auto state = static_cast<std::int64_t>(msg.wparam);
    const std::int64_t error = msg.lparam;
    if (const auto text = DialStatusText(state, error); text && status_) {
      status_(std::string(*text), error != 0);
    }
    return 0;
  }

 private:
  StatusListener status_;
};

HeadlessDialup::HeadlessDialup() = default;

HeadlessDialup::~HeadlessDialup() {
  // The manager hangs up a line it dialled and stops posting before its owner goes.
  manager_.reset();
  owner_.reset();
}

bool HeadlessDialup::Create(const AppSettings& settings, StatusListener status) {
  owner_ = std::make_unique<OwnerWindow>(std::move(status));
  manager_ = std::make_unique<CRasMan>(backend_);
  if (!owner_->Create() || !manager_->Create(owner_->Handle())) return false;
  manager_->SetSettings(DialupSettingsOf(settings));
  return true;
}

}  // namespace qlm
