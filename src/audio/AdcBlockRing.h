// SPDX-License-Identifier: GPL-3.0-or-later
// A bounded lock-free ring of fixed-size sample blocks, from one producer thread to one consumer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

// Single producer (a library's block thread), single consumer (the main thread). Capacity and
// block size are fixed at construction; Push and Pop never allocate, never block and never wait.
//
// Memory ordering: `tail_` is written only by the producer, `head_` only by the consumer. The
// producer copies a block into slot tail % capacity and then publishes it with a release store
// of tail + 1; the consumer's acquire load of `tail_` therefore sees the whole block before it
// reads the slot. The consumer releases a slot with a release store of head + 1 after it has
// finished reading it; the producer's acquire load of `head_` orders that read before the
// producer overwrites the slot. A full ring refuses the block whole: a slot is either entirely
// the old block or entirely the new one, never half of each.
class TAdcBlockRing {
public:
    TAdcBlockRing(std::size_t capacityBlocks, std::size_t samplesPerBlock)
        : capacity_(capacityBlocks), blockSamples_(samplesPerBlock),
          slots_(capacityBlocks * samplesPerBlock) {}

    std::size_t Capacity() const { return capacity_; }
    std::size_t BlockSamples() const { return blockSamples_; }

    // Producer only: copies `block` (BlockSamples() values) into the next free slot. False, and
    // nothing copied, when all slots are full.
    bool Push(const std::int32_t* block) {
        const std::uint64_t tail = tail_.load(std::memory_order_relaxed); // own variable
        const std::uint64_t head = head_.load(std::memory_order_acquire);
        if (tail - head >= capacity_)
            return false;
        std::memcpy(Slot(tail), block, blockSamples_ * sizeof(std::int32_t));
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer only: the oldest block, valid until Release(); empty when the ring is empty.
    std::span<const std::int32_t> Front() const {
        const std::uint64_t head = head_.load(std::memory_order_relaxed); // own variable
        if (tail_.load(std::memory_order_acquire) == head)
            return {};
        return {Slot(head), blockSamples_};
    }

    // Consumer only: gives the block returned by Front() back to the producer.
    void Release() {
        const std::uint64_t head = head_.load(std::memory_order_relaxed);
        head_.store(head + 1, std::memory_order_release);
    }

    // Consumer only: drops every block published so far.
    void Clear() { head_.store(tail_.load(std::memory_order_acquire), std::memory_order_release); }

private:
    std::int32_t* Slot(std::uint64_t index) {
        return slots_.data() + (index % capacity_) * blockSamples_;
    }
    const std::int32_t* Slot(std::uint64_t index) const {
        return slots_.data() + (index % capacity_) * blockSamples_;
    }

    const std::size_t capacity_;
    const std::size_t blockSamples_;
    std::vector<std::int32_t> slots_;
    alignas(64) std::atomic<std::uint64_t> head_{0}; // blocks consumed, ever
    alignas(64) std::atomic<std::uint64_t> tail_{0}; // blocks published, ever
};
