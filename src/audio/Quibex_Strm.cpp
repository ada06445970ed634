// SPDX-License-Identifier: GPL-3.0-or-later
// The audio stream facade.
#include "audio/Quibex_Strm.h"

#include <algorithm>
#include <cctype>

class TQuibexStream::TCallbackScope {
public:
    // `caller`: the engine whose callback this is; it is kept even when it was retired.
    TCallbackScope(TQuibexStream& stream, const TAudioStreamEngine* caller) : stream_(stream) {
        if (stream_.callbackDepth_ == 0)
            stream_.ReleaseRetired(caller); // entered from the event loop: no other engine below
        ++stream_.callbackDepth_;
    }
    ~TCallbackScope() { --stream_.callbackDepth_; }
    TCallbackScope(const TCallbackScope&) = delete;
    TCallbackScope& operator=(const TCallbackScope&) = delete;

private:
    TQuibexStream& stream_;
};

TQuibexStream::TQuibexStream(TEngineFactory factory) : factory_(std::move(factory)) {
    Configure();
}

TQuibexStream::~TQuibexStream() {
    Stop();
    engine_.reset();
    retired_.clear();
}

void TQuibexStream::SetEngine(TAudioEngine engine) {
    Engine_ = engine;
    Retire();
    Configure();
}

void TQuibexStream::Retire() {
    ReleaseRetired();
    if (!engine_)
        return;
    engine_->Stop();
    retired_.push_back(std::move(engine_));
}

void TQuibexStream::ReleaseRetired(const TAudioStreamEngine* keep) {
    if (callbackDepth_ != 0)
        return;
    std::erase_if(retired_, [keep](const auto& engine) { return engine.get() != keep; });
}

void TQuibexStream::Configure() {
    engine_ = factory_(Engine_);
    engine_->Directions = Directions;
    // The engine calls the facade's handlers through these, so that the facade knows when engine
    // code is on the stack.
    const TAudioStreamEngine* self = engine_.get();
    engine_->OnData = [this, self](void* sender, TDataBufferI& ints, TDataBufferF& in,
                                   TDataBufferF& out) {
        const TCallbackScope scope(*this, self);
        if (OnData)
            OnData(sender, ints, in, out);
    };
    engine_->OnFailure = [this, self](const std::string& reason) {
        const TCallbackScope scope(*this, self);
        if (OnFailure)
            OnFailure(reason);
    };
    engine_->OnBlockError = [this, self](const std::string& text) {
        const TCallbackScope scope(*this, self);
        if (OnBlockError)
            OnBlockError(text);
    };
    engine_->InputDevice.Assign(InputDevice);
    engine_->OutputDevice.Assign(OutputDevice);
    if (Engine_ == aeMME)
        engine_->BufferCount = BufferCount;
    InputDeviceNames_ = engine_->InputNames();
    OutputDeviceNames_ = engine_->OutputNames();
}

void TQuibexStream::Start() {
    if (Active())
        return;
    Retire();
    Configure();
    engine_->Start();
}

void TQuibexStream::Stop() {
    ReleaseRetired();
    if (engine_)
        engine_->Stop();
}

int TAudioStreamEngine::FindDevice(const std::string& name, bool capture) const {
    if (name.empty())
        return -1;
    const auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    const auto names = capture ? InputNames() : OutputNames();
    const auto wanted = lower(name);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (lower(names[i]) == wanted)
            return static_cast<int>(i);
    return -1;
}

int TAudioStreamEngine::DeviceOfEntry(bool, int position) const {
    return position;
}

int TQuibexStream::SelectInputEntry(int position) {
    InputDevice.Index = engine_->DeviceOfEntry(true, position);
    return InputDevice.Index;
}

int TQuibexStream::SelectOutputEntry(int position) {
    OutputDevice.Index = engine_->DeviceOfEntry(false, position);
    return OutputDevice.Index;
}

void TQuibexStream::RefreshDevices() {
    engine_->RefreshDevices();
    InputDeviceNames_ = engine_->InputNames();
    OutputDeviceNames_ = engine_->OutputNames();
}

int TQuibexStream::SelectDevice(std::string& name, const std::vector<std::string>& names,
                                TDeviceSettings& device) {
    if (Engine_ == aeWDM) {
        const int index = engine_->FindDevice(name, &names == &InputDeviceNames_);
        device.Index = index;
        return index;
    }
    int index = 0;
    if (!name.empty())
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == name)
                index = static_cast<int>(i); // the last equal entry wins
    device.Index = index;
    if (static_cast<std::size_t>(index) < names.size())
        name = names[static_cast<std::size_t>(index)];
    return index;
}

int TQuibexStream::SelectInputDevice(std::string& name) {
    return SelectDevice(name, InputDeviceNames_, InputDevice);
}

int TQuibexStream::SelectOutputDevice(std::string& name) {
    return SelectDevice(name, OutputDeviceNames_, OutputDevice);
}
