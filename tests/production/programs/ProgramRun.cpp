#include "tests/production/programs/ProgramRun.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{

constexpr uid_t NOBODY = 65534;

void CloseIfOpen(int* pFile)
{
    if (*pFile >= 0)
        close(*pFile);
    *pFile = -1;
}

} // namespace

ProgramRun::ProgramRun(const std::vector<std::string>& vArguments, const Options& options)
{
    // Everything the child needs is made before the fork: after it, only exec-safe calls.
    std::vector<char*> vArgv;
    for (const std::string& sArgument : vArguments)
        vArgv.push_back(const_cast<char*>(sArgument.c_str()));
    vArgv.push_back(nullptr);
    std::vector<char*> vEnvp;
    for (char** ppEntry = environ; *ppEntry != nullptr; ++ppEntry)
        vEnvp.push_back(*ppEntry);
    for (const std::string& sEntry : options.vEnvironment)
        vEnvp.push_back(const_cast<char*>(sEntry.c_str()));
    vEnvp.push_back(nullptr);
    const bool bDropRoot = options.bUnprivileged && geteuid() == 0;

    int aOutput[2];
    int aErrors[2];
    if (vArguments.empty() || pipe2(aOutput, O_CLOEXEC) != 0)
        return;
    if (pipe2(aErrors, O_CLOEXEC) != 0)
    {
        close(aOutput[0]);
        close(aOutput[1]);
        return;
    }
    m_iPid = fork();
    if (m_iPid == 0)
    {
        if (dup2(aOutput[1], STDOUT_FILENO) < 0 || dup2(aErrors[1], STDERR_FILENO) < 0)
            _exit(126);
        if (!options.sDirectory.empty() && chdir(options.sDirectory.c_str()) != 0)
            _exit(126);
        if (bDropRoot && (setgroups(0, nullptr) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0))
            _exit(126);
        execve(vArgv[0], vArgv.data(), vEnvp.data());
        _exit(127);
    }
    close(aOutput[1]);
    close(aErrors[1]);
    m_iOutput = aOutput[0];
    m_iErrors = aErrors[0];
    if (m_iPid < 0)
    {
        CloseIfOpen(&m_iOutput);
        CloseIfOpen(&m_iErrors);
    }
}

ProgramRun::~ProgramRun()
{
    if (m_iPid > 0 && !m_bEnded)
    {
        kill(m_iPid, SIGKILL);
        int iStatus = 0;
        while (waitpid(m_iPid, &iStatus, 0) < 0 && errno == EINTR)
        {
        }
    }
    CloseIfOpen(&m_iOutput);
    CloseIfOpen(&m_iErrors);
}

bool ProgramRun::IsRunning()
{
    if (m_iPid <= 0 || m_bEnded)
        return false;
    int iStatus = 0;
    if (waitpid(m_iPid, &iStatus, WNOHANG) == m_iPid)
    {
        Reap(iStatus);
        return false;
    }
    return true;
}

const std::string& ProgramRun::ReadErrorsUntil(const std::string& sText)
{
    while (m_sErrors.find(sText) == std::string::npos && m_iErrors >= 0 && ReadSome(-1))
    {
    }
    return m_sErrors;
}

void ProgramRun::Wait()
{
    while (ReadSome(-1))
    {
    }
    if (m_iPid <= 0 || m_bEnded)
        return;
    int iStatus = 0;
    while (waitpid(m_iPid, &iStatus, 0) < 0)
        if (errno != EINTR)
            return;
    Reap(iStatus);
}

void ProgramRun::OpenToOthers(const std::string& sPath, bool bWritable)
{
    chmod(sPath.c_str(), bWritable ? 0777 : 0755);
}

bool ProgramRun::ReadSome(int iMilliseconds)
{
    pollfd aFiles[2] = {{m_iOutput, POLLIN, 0}, {m_iErrors, POLLIN, 0}};
    if (m_iOutput < 0 && m_iErrors < 0)
        return false;
    if (poll(aFiles, 2, iMilliseconds) < 0)
        return errno == EINTR;
    std::string* apTexts[2] = {&m_sOutput, &m_sErrors};
    int* apFiles[2] = {&m_iOutput, &m_iErrors};
    for (int i = 0; i < 2; ++i)
    {
        if (*apFiles[i] < 0 || aFiles[i].revents == 0)
            continue;
        char aBuffer[4096];
        const ssize_t iRead = read(*apFiles[i], aBuffer, sizeof(aBuffer));
        if (iRead > 0)
            apTexts[i]->append(aBuffer, static_cast<std::size_t>(iRead));
        else if (iRead == 0 || errno != EINTR)
            CloseIfOpen(apFiles[i]);
    }
    return m_iOutput >= 0 || m_iErrors >= 0;
}

void ProgramRun::Reap(int iStatus)
{
    m_bEnded = true;
    if (WIFEXITED(iStatus))
        m_iExitCode = WEXITSTATUS(iStatus);
    else if (WIFSIGNALED(iStatus))
        m_iSignal = WTERMSIG(iStatus);
}
