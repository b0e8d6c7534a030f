#pragma once

#include <juce_core/juce_core.h>

/**
    The rule that one user runs one manager at a time, without one account's
    manager (or a hostile account holding a lock) keeping another account's
    from starting.

    POSIX: an exclusive flock on "instance.lock" in the user's private folder
    (see UserSecret::openPrivateFolder), so the lock follows HOME. Windows: a
    mutex in the session's namespace whose name carries the user's SID.
    The lock is tried once, at construction, on the thread that makes the
    object, and held until it is destroyed; child processes do not inherit it.
*/
class InstanceLock final
{
public:
    enum class State
    {
        held,            ///< this object holds the user's lock
        heldElsewhere,   ///< another manager of this user holds it
        unavailable      ///< no lock could be set up (no private folder): nothing holds it
    };

    InstanceLock();
    ~InstanceLock();

    State getState() const noexcept     { return state; }

private:
    State state = State::unavailable;
    void* handle = nullptr;     // Windows: the mutex
    int fd = -1;                // POSIX: the locked file

    JUCE_DECLARE_NON_COPYABLE (InstanceLock)
};
