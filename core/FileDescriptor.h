// An open file descriptor with one owner, closed when the owner goes away: no exit path, early
// return or exception can leave it open.
#pragma once

#include <unistd.h>

#include <utility>

class UniqueFd
{
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(m_fd, -1); }
    // Closes the descriptor held, if any, and takes `fd`; returns what the close returned (0
    // when nothing was held), so that a failed close of a written file can be seen.
    int reset(int fd = -1) noexcept
    {
        const int old = std::exchange(m_fd, fd);
        return old >= 0 ? ::close(old) : 0;
    }

private:
    int m_fd = -1;
};
