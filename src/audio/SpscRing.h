// SPDX-License-Identifier: GPL-3.0-or-later
// A lock-free ring of values between exactly one producer thread and one consumer thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

// Fixed capacity (a power of two, at least the one asked for), allocated at construction; no
// call allocates, locks or waits afterwards, so a real-time thread may be either side.
//
// Memory ordering: the producer fills slots and then publishes them by a release store of the
// write count (CommitWrite); the consumer's acquire load of that count (ReadAvailable) makes
// the filled slots visible before it reads them. The other way round, the consumer releases
// slots by a release store of the read count (CommitRead) after it has read them, and the
// producer's acquire load (WriteSpace) orders its next writes after those reads. Each count is
// stored by one side only and grows without bound (64-bit: no wrap in practice); a slot is the
// count masked by the capacity.
//
// Ownership: the slots between the read count and the write count belong to the consumer, the
// rest to the producer. Allocate and Reset may only be called while neither side runs.
template <typename T> class TSpscRing {
    static_assert(std::atomic<std::size_t>::is_always_lock_free);

public:
    explicit TSpscRing(std::size_t minCapacity = 1) { Allocate(minCapacity); }

    // Empties the ring and gives it room for at least `minCapacity` values; neither side may
    // run.
    void Allocate(std::size_t minCapacity) {
        std::size_t capacity = 1;
        while (capacity < minCapacity)
            capacity <<= 1;
        slots_.assign(capacity, T{});
        mask_ = capacity - 1;
        Reset();
    }

    std::size_t Capacity() const noexcept { return slots_.size(); }

    // Producer side.
    std::size_t WriteSpace() const noexcept {
        return slots_.size() -
               (written_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire));
    }
    // Slot `i` (0 <= i < WriteSpace()) after the last published one.
    T& WriteSlot(std::size_t i) noexcept {
        return slots_[(written_.load(std::memory_order_relaxed) + i) & mask_];
    }
    // Publishes the next `n` slots (n <= WriteSpace()).
    void CommitWrite(std::size_t n) noexcept {
        written_.store(written_.load(std::memory_order_relaxed) + n, std::memory_order_release);
    }

    // Consumer side.
    std::size_t ReadAvailable() const noexcept {
        return written_.load(std::memory_order_acquire) - read_.load(std::memory_order_relaxed);
    }
    // Slot `i` (0 <= i < ReadAvailable()) after the last consumed one.
    const T& ReadSlot(std::size_t i) const noexcept {
        return slots_[(read_.load(std::memory_order_relaxed) + i) & mask_];
    }
    // Releases the next `n` slots to the producer (n <= ReadAvailable()).
    void CommitRead(std::size_t n) noexcept {
        read_.store(read_.load(std::memory_order_relaxed) + n, std::memory_order_release);
    }

    // Empties the ring; neither side may run.
    void Reset() noexcept {
        written_.store(0, std::memory_order_relaxed);
        read_.store(0, std::memory_order_relaxed);
    }

private:
    std::vector<T> slots_;
    std::size_t mask_ = 0;
    // Apart, so that the two sides do not share a cache line.
    alignas(64) std::atomic<std::size_t> written_{0}; // stored by the producer only
    alignas(64) std::atomic<std::size_t> read_{0};    // stored by the consumer only
};
