// The audio stream facade.
#include "audio/Quibex_Strm.h"

#include "audio/WdmStrm.h"

#include <algorithm>
#include <cctype>

TQuibexStream::TQuibexStream(TEngineFactory factory) : factory_(std::move(factory)) {
    Configure();
}

TQuibexStream::~TQuibexStream() {
    Stop();
    engine_.reset();
}

void TQuibexStream::SetEngine(TAudioEngine engine) {
    Engine_ = engine;
    engine_.reset(); // the engine stops itself when destroyed
    Configure();
}

void TQuibexStream::Configure() {
    engine_ = factory_(Engine_);
    engine_->Directions = Directions;
    engine_->OnData = OnData;
    engine_->OnFailure = OnFailure;
    engine_->OnBlockError = OnBlockError;
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
    engine_.reset();
    Configure();
    engine_->Start();
}

void TQuibexStream::Stop() {
    if (engine_)
        engine_->Stop();
}

int TQuibexStream::SelectDevice(std::string& name, const std::vector<std::string>& names,
                                TDeviceSettings& device) {
    if (Engine_ == aeWDM) {
        int index = -1;
        if (!name.empty()) {
            const auto lower = [](std::string s) {
                std::transform(s.begin(), s.end(), s.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                return s;
            };
            const auto wanted = lower(name);
            for (std::size_t i = 0; i < names.size(); ++i)
                if (lower(names[i]) == wanted) {
                    index = static_cast<int>(i);
                    break;
                }
        }
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
