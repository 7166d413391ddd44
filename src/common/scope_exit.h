// Runs a cleanup when its scope ends, however it ends (a host's exception
// included); Release() keeps it from running.
#pragma once

template <typename Cleanup>
class ScopeExit {
public:
    explicit ScopeExit(Cleanup cleanup) noexcept : m_cleanup(cleanup) {}
    ~ScopeExit()
    {
        if (m_armed)
            m_cleanup();
    }
    void Release() noexcept { m_armed = false; }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Cleanup m_cleanup;
    bool m_armed = true;
};
