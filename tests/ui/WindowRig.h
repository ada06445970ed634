// SPDX-License-Identifier: GPL-3.0-or-later
// A main window for tests: devices and engines under the test's control, messages recorded.
#pragma once

#include "audio/AudioError.h"
#include "audio/AudioStreamEngine.h"
#include "audio/PcmDeviceList.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QCloseEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdlib.h>
#include <string>
#include <vector>

namespace uitest {

// What the mock engines of one window were asked to do.
struct EngineLog {
    int starts = 0;
    int stops = 0;
    bool failStart = false;
    TAudioStreamEngine* running = nullptr;
};

// An engine that does no I/O: it records starts and stops, and can fail to start.
class TMockEngine final : public TAudioStreamEngine {
public:
    TMockEngine(EngineLog* log, std::vector<TPcmDevice> devices) : log_(log), devices_(std::move(devices)) {}
    ~TMockEngine() override { Stop(); }
    void Start() override {
        if (active_)
            return;
        if (log_->failStart)
            throw EAudioError("Device or resource busy");
        active_ = true;
        ++log_->starts;
        log_->running = this;
    }
    void Stop() override {
        if (!active_)
            return;
        active_ = false;
        ++log_->stops;
        log_->running = nullptr;
    }
    bool Active() const override { return active_; }
    std::vector<std::string> InputNames() const override { return FormatDeviceNames(devices_, true); }
    std::vector<std::string> OutputNames() const override { return FormatDeviceNames(devices_, false); }

private:
    EngineLog* log_;
    std::vector<TPcmDevice> devices_;
    bool active_ = false;
};

const std::vector<TPcmDevice> kBothWays{{"default", "Default device", true, true},
                                         {"usb", "USB codec", true, true}};

struct Window {
    EngineLog log;
    std::vector<QString> messages;
    std::unique_ptr<TForm1> form;
    std::string folder;     // settings folder of this window
    bool ownsFolder = false; // a fresh folder made for this window, removed with it

    // `settingsFolder` empty: a fresh empty folder, so no test sees another one's settings.
    explicit Window(std::vector<TPcmDevice> devices = kBothWays, std::string settingsFolder = {},
                    std::function<void(TFormEnvironment&)> adjust = {})
        : folder(std::move(settingsFolder)) {
        if (folder.empty()) {
            char pattern[] = "/tmp/ps-window-XXXXXX";
            if (::mkdtemp(pattern) != nullptr) {
                folder = pattern;
                ownsFolder = true;
            }
        }
        TFormEnvironment env;
        env.Devices = std::make_shared<const std::vector<TPcmDevice>>(devices);
        env.EngineFactory = [this, devices](TAudioEngine) {
            return std::make_unique<TMockEngine>(&log, devices);
        };
        env.ShowMessage = [this](const QString& text) { messages.push_back(text); };
        env.SettingsFolder = QString::fromStdString(folder);
        // A screen larger than any bounds the tests save (the offscreen platform's own screen,
        // 800 x 600, is smaller than the window's first 900 x 640).
        env.ScreenAreaAt = [](const QRect&) { return QRect(-16384, -16384, 32768, 32768); };
#ifdef N4_STANDIN_DIR
        env.ExternalAdcFolder = N4_STANDIN_DIR; // the stand-in four-ADC library of the tests
#endif
        if (adjust)
            adjust(env);
        form = std::make_unique<TForm1>(std::move(env));
        form->show();
        // The first turn of the event loop: the messages held during start-up are shown.
        QCoreApplication::sendPostedEvents(form.get(), QEvent::MetaCall);
    }

    ~Window() {
        form.reset();
        if (ownsFolder)
            std::filesystem::remove_all(folder);
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    template <typename T> T* Find(const char* name) {
        auto* control = form->findChild<T*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    // Hands one engine block to the window as the running engine would (sampling must run).
    // The meters and views show it at once, as the next frame would; `showFrame` false: they
    // show it with the next frame (TFramePacer).
    void Deliver(TDataBufferF& in, TDataBufferF& out, bool showFrame = true) {
        ASSERT_NE(log.running, nullptr) << "not sampling";
        TDataBufferI ints;
        log.running->OnData(log.running, ints, in, out);
        if (showFrame)
            form->FlushFrame();
    }

    bool Close() {
        QCloseEvent event;
        QApplication::sendEvent(form.get(), &event);
        return event.isAccepted();
    }
};

// Two channels of `samples` values of a sine of `amplitude` (full scale 2^31 - 1) at
// `frequencyHz`, sampled at `rateHz`.
inline TDataBufferF SineBlock(int samples, double frequencyHz, double rateHz = 48000.0,
                              double amplitude = 2147483647.0) {
    TDataBufferF block(2, TSingleArray(static_cast<std::size_t>(samples)));
    for (int i = 0; i < samples; ++i) {
        const auto v = static_cast<float>(amplitude * std::sin(2.0 * M_PI * frequencyHz * i / rateHz));
        block[0][static_cast<std::size_t>(i)] = v;
        block[1][static_cast<std::size_t>(i)] = v;
    }
    return block;
}

} // namespace uitest
