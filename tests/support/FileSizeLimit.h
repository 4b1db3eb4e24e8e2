#pragma once
// Makes writes fail part-way, as on a full disk: while a FileSizeLimit lives, no file of the
// process grows past its size (RLIMIT_FSIZE), and a write that would make it larger fails with
// EFBIG instead of raising SIGXFSZ. The limit and the signal's handling are restored on
// destruction. It holds for the whole process: other threads must not write meanwhile. Test code
// only.

#include <csignal>
#include <cstdint>
#include <sys/resource.h>

class FileSizeLimit
{
public:
    explicit FileSizeLimit(std::uint64_t uiBytes);
    ~FileSizeLimit();

    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Whether the limit could be set.
    bool IsSet() const { return m_bSet; }

private:
    struct rlimit m_oOldLimit = {};
    void (*m_pOldHandler)(int) = SIG_ERR;
    bool m_bSet = false;
};
