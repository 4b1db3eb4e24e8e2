#pragma once
// One run of a built program for the program tests: started with fork and exec, its standard output
// and error read through pipes, its end waited for. Unprivileged, it runs as "nobody" when the tests
// run as root, so that file modes (an unreadable file) apply to it as they would to a user; the
// test then makes what the program needs readable or writable for others. A run still going when
// the object goes is killed. Test code only; one thread.

#include <string>
#include <sys/types.h>
#include <vector>

class ProgramRun
{
public:
    struct Options
    {
        std::string sDirectory;                // working directory; empty for the test's own
        std::vector<std::string> vEnvironment; // "NAME=value" entries added to the test's
        bool bUnprivileged = false;
    };

    ProgramRun(const std::vector<std::string>& vArguments, const Options& options);
    explicit ProgramRun(const std::vector<std::string>& vArguments) : ProgramRun(vArguments, Options()) {}
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool IsStarted() const { return m_iPid > 0; }
    pid_t GetPid() const { return m_iPid; }
    // Whether it has not ended yet (an ended run is waited for here).
    bool IsRunning();
    // Reads standard error until it holds sText or closes; what it holds so far.
    const std::string& ReadErrorsUntil(const std::string& sText);
    // Reads both outputs to their end and waits for the end.
    void Wait();

    // After Wait: the exit code, or -1 when a signal ended the run (then GetSignal names it).
    int GetExitCode() const { return m_iExitCode; }
    int GetSignal() const { return m_iSignal; }
    const std::string& GetOutput() const { return m_sOutput; }
    const std::string& GetErrors() const { return m_sErrors; }

    // Makes the path readable, or writable too, by the unprivileged run (mode 0755 or 0777).
    static void OpenToOthers(const std::string& sPath, bool bWritable);

private:
    // Reads what is ready on the open pipes, waiting at most iMilliseconds; false once both closed.
    bool ReadSome(int iMilliseconds);
    void Reap(int iStatus);

    pid_t m_iPid = -1;
    int m_iOutput = -1; // read ends of the pipes, -1 once closed
    int m_iErrors = -1;
    bool m_bEnded = false;
    int m_iExitCode = -1;
    int m_iSignal = 0;
    std::string m_sOutput;
    std::string m_sErrors;
};
