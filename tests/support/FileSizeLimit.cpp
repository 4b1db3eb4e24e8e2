#include "tests/support/FileSizeLimit.h"

#include <csignal>

FileSizeLimit::FileSizeLimit(std::uint64_t uiBytes)
{
    if (getrlimit(RLIMIT_FSIZE, &m_oOldLimit) != 0)
        return;
    m_pOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = m_oOldLimit;
    limit.rlim_cur = static_cast<rlim_t>(uiBytes);
    m_bSet = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (m_bSet)
        setrlimit(RLIMIT_FSIZE, &m_oOldLimit);
    if (m_pOldHandler != SIG_ERR)
        std::signal(SIGXFSZ, m_pOldHandler);
}
