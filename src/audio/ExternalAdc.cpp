// SPDX-License-Identifier: GPL-3.0-or-later
// The external four-channel ADC: loading its library, starting and stopping it, its callback.
#include "audio/ExternalAdc.h"

#include <dlfcn.h>

#include <thread>

namespace {

// The one started instance, for the context-free callback. Stored and loaded seq_cst, and so is
// the count of callbacks in progress: Stop clears the receiver and then reads the count, the
// callback raises the count and then reads the receiver, so either the callback sees no
// receiver or Stop sees it in progress and waits for it (no callback uses a stopped instance).
std::atomic<TExternalAdc*> g_receiver{nullptr};
std::atomic<int> g_inCallback{0};

} // namespace

std::string ExternalAdcLoadMessage(int loadResult, int openResult) {
    const std::string library = kExternalAdcLibraryName;
    switch (loadResult) {
    case alNotFound:
        return "Error: Library " + library + " not found!";
    case alEntryMissing:
        return "Error: Library " + library + " is missing a function!";
    case alNoHardware:
        return "Error: No Norta4 hardware found!";
    case alDriverMissing:
        return "Error: Library Norta4_USB.dll or not found!";
    case alUnknownResult:
        return "Error: Library " + library + " answered " + std::to_string(openResult) +
               " when asked to open the Norta4 hardware, which is no known result!";
    default:
        return {};
    }
}

TExternalAdc::TExternalAdc(IMainThreadDispatcher& dispatcher, std::size_t ringBlocks)
    : dispatcher_(dispatcher), ringBlocks_(ringBlocks), alive_(std::make_shared<bool>(true)) {}

TExternalAdc::~TExternalAdc() {
    *alive_ = false;
    CloseExternalAdc();
}

int TExternalAdc::LoadExternalAdc(const std::string& path, const std::string& openArgument) {
    if (open_)
        return alOpened;
    module_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr)
        module_ = ::dlopen(kExternalAdcLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr)
        return alNotFound;
    openEntry_ = reinterpret_cast<OpenFn>(::dlsym(module_, "_Open"));
    closeEntry_ = reinterpret_cast<VoidFn>(::dlsym(module_, "_Close"));
    startEntry_ = reinterpret_cast<StartFn>(::dlsym(module_, "_Start"));
    stopEntry_ = reinterpret_cast<VoidFn>(::dlsym(module_, "_Stop"));
    if (!openEntry_ || !closeEntry_ || !startEntry_ || !stopEntry_) {
        Unload();
        return alEntryMissing;
    }
    lastOpenResult_ = openEntry_(openArgument.c_str());
    if (lastOpenResult_ != 0) {
        closeEntry_();
        Unload();
        return lastOpenResult_ == 1   ? alNoHardware
               : lastOpenResult_ == 2 ? alDriverMissing
                                      : alUnknownResult;
    }
    open_ = true;
    return alOpened;
}

void TExternalAdc::CloseExternalAdc() {
    Stop();
    open_ = false;
    if (module_ != nullptr) {
        if (closeEntry_)
            closeEntry_();
        Unload();
    }
}

void TExternalAdc::Unload() {
    if (module_ != nullptr)
        ::dlclose(module_);
    module_ = nullptr;
    openEntry_ = nullptr;
    closeEntry_ = nullptr;
    startEntry_ = nullptr;
    stopEntry_ = nullptr;
}

double TExternalAdc::Start(int blockSamples, int rateHz) {
    if (!open_)
        throw EExternalAdcError("The external ADC is not open.");
    if (running_)
        return 0.0;
    if (blockSamples <= 0)
        throw EExternalAdcError("The external ADC needs a positive block size.");
    const auto samples = static_cast<std::size_t>(blockSamples) * 4;
    if (!ring_ || ring_->BlockSamples() != samples)
        ring_ = std::make_unique<TAdcBlockRing>(ringBlocks_, samples);
    ring_->Clear(); // no producer runs now
    blockSamples_ = blockSamples;
    taken_ = 0;
    arrived_.store(0, std::memory_order_relaxed);
    lostBlocks_.store(0, std::memory_order_relaxed);
    gaps_.store(0, std::memory_order_relaxed);
    inGap_.store(false, std::memory_order_relaxed);

    TExternalAdc* expected = nullptr;
    if (!g_receiver.compare_exchange_strong(expected, this, std::memory_order_seq_cst))
        throw EExternalAdcError("Another external ADC is already running.");
    running_ = true;
    ++runs_;
    return startEntry_(blockSamples, rateHz, &TExternalAdc::BlockArrived);
}

void TExternalAdc::Stop() {
    if (!running_)
        return;
    running_ = false;
    ++runs_;
    g_receiver.store(nullptr, std::memory_order_seq_cst);
    if (stopEntry_)
        stopEntry_();
    while (g_inCallback.load(std::memory_order_seq_cst) != 0)
        std::this_thread::yield(); // a callback that saw this instance is finishing its copy
    ring_->Clear();
}

void TExternalAdc::BlockArrived(std::int32_t* block) {
    g_inCallback.fetch_add(1, std::memory_order_seq_cst);
    if (TExternalAdc* receiver = g_receiver.load(std::memory_order_seq_cst))
        receiver->Arrive(block);
    g_inCallback.fetch_sub(1, std::memory_order_release);
}

void TExternalAdc::Arrive(const std::int32_t* block) {
    arrived_.fetch_add(1, std::memory_order_relaxed);
    if (ring_->Push(block)) {
        inGap_.store(false, std::memory_order_relaxed);
    } else {
        lostBlocks_.fetch_add(1, std::memory_order_relaxed);
        if (!inGap_.exchange(true, std::memory_order_relaxed))
            gaps_.fetch_add(1, std::memory_order_relaxed);
    }
    if (!drainPosted_.exchange(true, std::memory_order_acq_rel)) {
        dispatcher_.Post([this, alive = alive_] {
            if (*alive)
                Drain();
        });
    }
}

int TExternalAdc::Drain() {
    if (draining_) {
        // Posted drain task run by a nested event loop inside OnBlock (a message box): the
        // outer call takes the blocks, and goes round once more for those behind this task.
        nestedRefused_ = true;
        return 0;
    }
    draining_ = true;
    // At most one ring's worth per call: a main thread slower than the library must still get
    // back to its event loop (the blocks it cannot take are dropped as gaps meanwhile).
    const int most = ring_ ? static_cast<int>(ring_->Capacity()) : 0;
    int count = 0;
    bool more = false;
    bool runChanged = false;
    for (;;) {
        nestedRefused_ = false;
        drainPosted_.exchange(false, std::memory_order_acq_rel);
        const std::uint64_t run = runs_;
        for (auto block = ring_ ? ring_->Front() : std::span<const std::int32_t>{}; !block.empty();
             block = ring_->Front()) {
            if (count == most) {
                more = true;
                break;
            }
            if (OnBlock)
                OnBlock(block);
            ++count;
            ++taken_;
            if (runs_ != run) {
                runChanged = true; // OnBlock stopped (or restarted) the run: the ring was emptied
                break;
            }
            ring_->Release();
        }
        if (!nestedRefused_ || more || runChanged)
            break;
    }
    draining_ = false;
    // The rest, and blocks whose task a nested call turned away, go to a task of their own.
    if ((more || nestedRefused_) && !drainPosted_.exchange(true, std::memory_order_acq_rel)) {
        dispatcher_.Post([this, alive = alive_] {
            if (*alive)
                Drain();
        });
    }
    if (count > 0 && OnBlocksDone)
        OnBlocksDone();
    return count;
}

TStreamHealth TExternalAdc::Health() const {
    TStreamHealth health;
    health.CaptureGaps = gaps_.load(std::memory_order_relaxed);
    health.CaptureFramesLost =
        lostBlocks_.load(std::memory_order_relaxed) * static_cast<std::uint64_t>(blockSamples_);
    return health;
}
