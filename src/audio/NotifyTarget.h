// NotifyTarget, what the notification target of each wave component is (TCallBackWinIn,
// TCallBackWinOut): registered with the message loop from its making to its end, it hands each
// driver message to the component that the owner's variable holds when the message arrives.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/MessageLoop.h"

namespace audio {

template <class Component>
class NotifyTarget : public platform::MessageTarget {
  public:
    NotifyTarget(platform::MessageLoop& loop, const std::unique_ptr<Component>* componentRef,
                 Component* self)
        : ComponentRef(componentRef),
          loop_(loop),
          self_(self),
          handle_(loop.registerTarget(this)) {}
    ~NotifyTarget() { loop_.unregisterTarget(handle_); }
    NotifyTarget(const NotifyTarget&) = delete;
    NotifyTarget& operator=(const NotifyTarget&) = delete;

    platform::TargetId Handle() const noexcept { return handle_; }
    const std::unique_ptr<Component>* ComponentRef = nullptr;  // null: the component itself

    void handleMessage(uint32_t message, uintptr_t param1, uintptr_t param2) override {
        // The component is looked up now, not when the target was made: the owner may have
        // replaced or released it since. A target serves only the component it belongs to.
        Component* component = ComponentRef != nullptr ? ComponentRef->get() : self_;
        if (component == nullptr || component != self_) return;
        component->driverMessage(message, param1, param2);
    }

  private:
    platform::MessageLoop& loop_;
    Component* self_;
    platform::TargetId handle_;
};

}  // namespace audio
