// SPDX-License-Identifier: GPL-3.0-or-later
// The external four-channel ADC: its library, loaded at run time, and the hand-over of its blocks.
#pragma once

#include "audio/AdcBlockRing.h"
#include "audio/AudioStreamEngine.h"
#include "audio/MainThreadDispatcher.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

// File name of the four-ADC library, looked for in the program's folder, then on the library
// path.
constexpr const char* kExternalAdcLibraryName = "libN4ADC.so";

// The interface the library exports, C calling convention:
//   std::uint8_t _Open(const char* argument);   0 opened, 1 no hardware, 2 driver missing
//   void _Close();
//   double _Start(std::int32_t blockSamples, std::int32_t rateHz, TN4BlockCallback callback);
//   void _Stop();
// While started, the library calls `callback` once per block on a thread of its own, with
// 4 x blockSamples samples, channel-major: all samples of ADC1, then ADC2, ADC3, ADC4.
extern "C" {
using TN4BlockCallback = void (*)(std::int32_t* block);
}

// Results of LoadExternalAdc.
enum TAdcLoadResult : int {
    alOpened = 0,
    alNotFound = -1,      // the library cannot be loaded
    alEntryMissing = -2,  // one of the four entries is missing; unloaded again
    alNoHardware = -3,    // "_Open" returned 1; closed and unloaded again
    alDriverMissing = -4, // "_Open" returned 2; closed and unloaded again
    alUnknownResult = -5, // "_Open" returned something else; closed and unloaded again
};

// The message shown for a failed LoadExternalAdc; `openResult` is the byte "_Open" returned.
std::string ExternalAdcLoadMessage(int loadResult, int openResult);

// Raised by Start when the library is not open or another source is running.
class EExternalAdcError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The loaded library, its bound entries, and the bounded lock-free ring through which blocks
// travel from the library's thread to the main thread.
//
// Owned by the main window; every member function runs on the main thread, as do OnBlock and
// OnBlocksDone. The library's thread only enters the static callback, which copies the block
// into the ring (or counts it as lost when the ring is full) and posts one drain task through
// the dispatcher when none is pending; it never touches anything else. Only one instance can
// be started at a time, because the callback carries no context.
class TExternalAdc {
public:
    explicit TExternalAdc(IMainThreadDispatcher& dispatcher, std::size_t ringBlocks = 32);
    ~TExternalAdc(); // stops and closes the library
    TExternalAdc(const TExternalAdc&) = delete;
    TExternalAdc& operator=(const TExternalAdc&) = delete;

    // Loads the library from `path`, else by its file name from the library path, binds "_Open",
    // "_Close", "_Start" and "_Stop" and calls "_Open"(openArgument). Returns a TAdcLoadResult;
    // AdcOpen() holds only after alOpened. A library already open stays open (alOpened).
    int LoadExternalAdc(const std::string& path, const std::string& openArgument);
    // The byte the last "_Open" returned.
    int LastOpenResult() const { return lastOpenResult_; }
    // Stops a run, clears AdcOpen, calls "_Close" and unloads the library.
    void CloseExternalAdc();
    bool AdcOpen() const { return open_; }

    // Starts the library with blocks of `blockSamples` per channel at `rateHz`; returns the rate
    // it reports (samples/s). Lost blocks are counted from zero again. Throws EExternalAdcError.
    double Start(int blockSamples, int rateHz);
    // "_Stop", then waits until no callback is in progress; blocks not yet drained are dropped.
    void Stop();
    bool Running() const { return running_; }
    int BlockSamples() const { return blockSamples_; }

    // Called for each block taken from the ring (4 x BlockSamples() samples), oldest first.
    std::function<void(std::span<const std::int32_t> block)> OnBlock;
    // Called once after each batch of blocks handed to OnBlock.
    std::function<void()> OnBlocksDone;

    // Runs OnBlock on the blocks waiting in the ring, at most one ring's worth (the rest go to
    // a drain task posted for them), then OnBlocksDone; returns the count. The posted drain
    // task calls it; tests without an event loop may call it directly. A call made from inside
    // OnBlock (a nested event loop) returns 0 and leaves the blocks to the outer call, so that
    // no block is taken twice.
    int Drain();

    // Blocks refused because the ring was full: CaptureGaps counts runs of lost blocks,
    // CaptureFramesLost the samples per channel in them.
    TStreamHealth Health() const;
    // Blocks the library delivered in this run (taken or lost).
    std::uint64_t BlocksArrived() const { return arrived_.load(std::memory_order_relaxed); }
    // Blocks handed to OnBlock in this run.
    std::uint64_t BlocksTaken() const { return taken_; }

private:
    using OpenFn = std::uint8_t (*)(const char*);
    using VoidFn = void (*)();
    using StartFn = double (*)(std::int32_t, std::int32_t, TN4BlockCallback);

    static void BlockArrived(std::int32_t* block); // the library's thread
    void Arrive(const std::int32_t* block);        // the library's thread
    void Unload();

    IMainThreadDispatcher& dispatcher_;
    std::size_t ringBlocks_;
    std::unique_ptr<TAdcBlockRing> ring_; // made for the block size of a run
    std::shared_ptr<bool> alive_;         // main thread: false once this object is gone
    void* module_ = nullptr;
    OpenFn openEntry_ = nullptr;
    VoidFn closeEntry_ = nullptr;
    StartFn startEntry_ = nullptr;
    VoidFn stopEntry_ = nullptr;
    bool open_ = false;
    bool running_ = false;
    int blockSamples_ = 0;
    std::uint64_t runs_ = 0;     // starts and stops so far
    std::uint64_t taken_ = 0;    // blocks handed to OnBlock in this run
    bool draining_ = false;      // Drain is on the stack
    bool nestedRefused_ = false; // a drain task ran inside it and was turned away
    int lastOpenResult_ = 0;

    // Written by the library's thread, read by the main thread; statistics only (relaxed).
    std::atomic<std::uint64_t> arrived_{0};
    std::atomic<std::uint64_t> lostBlocks_{0};
    std::atomic<std::uint64_t> gaps_{0};
    std::atomic<bool> inGap_{false}; // the library's thread only, atomic for its thread changes
    // True while a drain task is posted and has not started; exchanged with acq_rel on both
    // sides so that a block pushed before a producer sees `true` is seen by that drain.
    std::atomic<bool> drainPosted_{false};
};
