// SPDX-License-Identifier: GPL-3.0-or-later
// Virtual inputs: open while a sink is attached; tests feed them through the control functions
// and loopback outputs.
#include "virtual_backend.h"

namespace platform::midi {

class VirtualBackend::InputLink : public InputConnection {
  public:
    InputLink(VirtualBackend& backend, std::shared_ptr<Input> input)
        : backend_(backend), input_(std::move(input)) {}
    ~InputLink() override {
        std::lock_guard lock(backend_.mutex_);
        input_->sink.reset();
    }

  private:
    VirtualBackend& backend_;
    std::shared_ptr<Input> input_;
};

MMRESULT VirtualBackend::openInput(unsigned index, std::shared_ptr<InputSink> sink,
                                   std::unique_ptr<InputConnection>& connection) {
    std::lock_guard lock(mutex_);
    if (index >= inputs_.size())
        return MMSYSERR_BADDEVICEID;
    if (inputs_[index]->sink)
        return MMSYSERR_ALLOCATED;
    inputs_[index]->sink = std::move(sink);
    connection = std::make_unique<InputLink>(*this, inputs_[index]);
    return MMSYSERR_NOERROR;
}

}  // namespace platform::midi
