// SPDX-License-Identifier: MIT
#include "app/checkpoints.h"

namespace tambrel {

ProgramState::ProgramState()
{
    for (const ModeInfo& info : kModeTable) modes.push_back(info.make(m_ctx));
}

void ProgramState::copyFrom(const ProgramState& other)
{
    canvas = other.canvas;
    rnd = other.rnd;
    frame = other.frame;
    pixelBuffer = other.pixelBuffer;
    switched = other.switched;
    for (size_t i = 0; i < modes.size(); ++i) modes[i]->copyStateFrom(*other.modes[i]);
}

Checkpoint& Checkpoints::take(uint32_t timeMs)
{
    std::unique_ptr<Checkpoint>& slot = m_slots[m_next];
    m_next = (m_next + 1) % kKept;
    if (!slot) slot = std::make_unique<Checkpoint>();
    slot->timeMs = timeMs;
    slot->taken = true;
    m_lastMs = timeMs;
    m_any = true;
    return *slot;
}

void Checkpoints::clear()
{
    for (auto& slot : m_slots)
        if (slot) slot->taken = false;
    m_any = false;
    m_lastMs = 0;
}

const Checkpoint* Checkpoints::atOrBefore(uint32_t timeMs) const
{
    const Checkpoint* best = nullptr;
    for (const auto& slot : m_slots)
        if (slot && slot->taken && slot->timeMs <= timeMs && (!best || slot->timeMs > best->timeMs)) best = slot.get();
    return best;
}

size_t Checkpoints::memoryBytes() const
{
    size_t bytes = 0;
    for (const auto& slot : m_slots)
        if (slot) bytes += sizeof(Checkpoint) + slot->state.canvas.kWidth * slot->state.canvas.kHeight * 4 +
                           (slot->state.pixelBuffer.exists() ? PixelBuffer::kWidth * PixelBuffer::kHeight * 4 : 0);
    return bytes;
}

} // namespace tambrel
