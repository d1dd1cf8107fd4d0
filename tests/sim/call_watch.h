// The calls a product makes into the stand-in environment, as the real shell's process
// would receive them: counted by kind, and with an action a test can have run from inside
// the next call of a kind, as the shell delivers its next event while the caller waits.
#pragma once

#include <array>
#include <functional>
#include <utility>

namespace quellix::sim {

enum class Call {
    kNewEnum,
    kNext,
    kCount,
    kItem,
    kHwnd,
    kLocationUrl,
    kQuit,
    kFindConnectionPoint,
    kAdvise,
    kUnadvise,
    kOther,
    kKinds
};

class CallWatch {
public:
    void Note(Call call)
    {
        ++m_counts[static_cast<int>(call)];
        if (auto action = std::exchange(m_actions[static_cast<int>(call)], nullptr))
            action();
    }
    // Runs `action` once, inside the next call of this kind, before it does its work.
    void During(Call call, std::function<void()> action) { m_actions[static_cast<int>(call)] = std::move(action); }

    long Count(Call call) const { return m_counts[static_cast<int>(call)]; }
    long Total() const
    {
        long total = 0;
        for (const long count : m_counts)
            total += count;
        return total;
    }
    void Reset() { m_counts.fill(0); }

private:
    std::array<long, static_cast<int>(Call::kKinds)> m_counts{};
    std::array<std::function<void()>, static_cast<int>(Call::kKinds)> m_actions;
};

}  // namespace quellix::sim
