#include "platform/InstanceLock.h"

#include "platform/UserSecret.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceLock::InstanceLock()
{
    const auto folder = UserSecret::openPrivateFolder();

    if (folder < 0)
        return;

    // O_CLOEXEC: the extraction tool and the update helper must not keep the
    // lock past this manager, or the updated manager could not start.
    fd = ::openat (folder, "instance.lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    ::close (folder);

    struct stat info {};

    if (fd >= 0 && (::fstat (fd, &info) != 0 || ! S_ISREG (info.st_mode) || info.st_uid != ::geteuid()))
    {
        ::close (fd);
        fd = -1;
    }

    if (fd < 0)
        return;

    // flock belongs to the open file, so a second lock in this very process
    // is refused as well, as it is in another one.
    if (::flock (fd, LOCK_EX | LOCK_NB) == 0)
    {
        state = State::held;
        return;
    }

    state = errno == EWOULDBLOCK ? State::heldElsewhere : State::unavailable;
    ::close (fd);
    fd = -1;
}

InstanceLock::~InstanceLock()
{
    if (fd >= 0)
        ::close (fd);
}
