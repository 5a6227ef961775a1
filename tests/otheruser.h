#pragma once
// A step done by another local user of a shared folder: the user nobody, in
// a child process. Only root can become another user; elsewhere the steps
// that need one are left out, and the test says so.

#include <functional>
#include <optional>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

constexpr uid_t OtherUserId = 65534;
constexpr gid_t OtherGroupId = 65534;

inline bool CanBeOtherUser()
{
    return ::geteuid() == 0;
}

// Whether `step` succeeded as the other user; nothing when this process
// cannot become one. The step runs after fork(): plain system calls only.
inline std::optional<bool> AsOtherUser(const std::function<bool()> &step)
{
    if (!CanBeOtherUser())
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(OtherGroupId) != 0 || ::setuid(OtherUserId) != 0)
            ::_exit(2);
        ::_exit(step() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
