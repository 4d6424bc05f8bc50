#pragma once
// How many messages a driver's next read-ahead round trip on a pipe asks for. A trip that fails
// in flight loses what it took, so the first trip of a drain asks for few; each trip that came
// back full asks for twice as many as the last, up to the driver's most. One that came back
// short but not empty keeps its size: the pipe holds less than was asked (orafce's pipes hold
// about 50 messages), and starting small again would only add round trips to the burst. One
// that found the pipe empty (the drain's end), failed, or whose pipe was purged starts again at
// the first size.
#include <algorithm>
#include <map>
#include <string>

class ReadAheadTrips {
public:
    ReadAheadTrips(int first, int most) : m_first(first), m_most(std::max(first, most)) {}

    int Next(const std::string& pipe) const {
        const auto found = m_next.find(pipe);
        return found == m_next.end() ? m_first : found->second;
    }
    // A trip that asked for `asked` messages took `taken`; `full` when it took all it could.
    void Came(const std::string& pipe, int asked, int taken, bool full) {
        if (full)
            m_next[pipe] = std::min(asked * 2, m_most);
        else if (taken > 0)
            m_next[pipe] = asked;
        else
            m_next.erase(pipe);
    }
    void Forget(const std::string& pipe) { m_next.erase(pipe); }

private:
    int m_first;
    int m_most;
    std::map<std::string, int> m_next; // by pipe, once a trip on it took messages
};
