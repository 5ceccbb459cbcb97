#pragma once
// The real qvl-utility program for tests: started with the given options in
// its own folder (its log lands there) with its own runtime folder (its
// single-instance lock too); killed by its pid if the test leaves it running.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// The standard output of a shell command.
inline std::string RunCommand(const std::string& strCommand)
{
    std::string strOut;
    if (FILE* p = ::popen(strCommand.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            strOut += buf;
        ::pclose(p);
    }
    return strOut;
}

class UtilityProcess {
public:
    using Clock = std::chrono::steady_clock;
    using milliseconds = std::chrono::milliseconds;

    UtilityProcess(const std::string& strProgram, const std::string& strDir, const std::string& strOptions)
        : m_strDir(strDir)
    {
        const std::string strCommand = "cd '" + strDir + "' && XDG_RUNTIME_DIR='" + strDir + "' NO_AT_BRIDGE=1 exec '"
            + strProgram + "' " + strOptions;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl("/bin/sh", "sh", "-c", strCommand.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~UtilityProcess()
    {
        if (m_pid > 0 && !m_bReaped)
            Kill();
    }
    UtilityProcess(const UtilityProcess&) = delete;
    UtilityProcess& operator=(const UtilityProcess&) = delete;

    pid_t Pid() const { return m_pid; }

    std::string Log() const
    {
        std::ifstream in(m_strDir + "/Orra_QVL_Utility_log.txt", std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    // Waits until the log holds every text (the log is flushed every 3 s).
    bool WaitForLog(std::initializer_list<std::string> texts, milliseconds bound) const
    {
        const auto end = Clock::now() + bound;
        for (;;) {
            const std::string strLog = Log();
            bool bAll = true;
            for (const std::string& strText : texts)
                bAll = bAll && strLog.find(strText) != std::string::npos;
            if (bAll)
                return true;
            if (Clock::now() >= end)
                return false;
            std::this_thread::sleep_for(milliseconds(100));
        }
    }

    // The program's window id, once it shows (up to 20 s), or "".
    std::string Window() const
    {
        std::string strWindow = RunCommand("timeout 20 xdotool search --all --sync --onlyvisible --pid "
                                           + std::to_string(m_pid) + " --name 'Orra QVL Utility' | head -1");
        strWindow = strWindow.substr(0, strWindow.find('\n'));
        while (!strWindow.empty() && strWindow.back() == ' ')
            strWindow.pop_back();
        return strWindow;
    }

    // Presses Esc in the program's window, as a user would, and returns the
    // exit status, or -1 when the window did not show or the program did not
    // end. Another program on this display may take the focus between the
    // focusing and the key, so the key is pressed again if the program is
    // still running after a while.
    int CloseWithEscape()
    {
        const std::string strWindow = Window();
        if (strWindow.empty())
            return -1;
        int nStatus = -1;
        for (int nTry = 0; nTry < 3 && nStatus < 0; ++nTry) {
            RunCommand("timeout 10 xdotool windowfocus --sync " + strWindow + " key Escape 2>/dev/null");
            nStatus = WaitForExit(milliseconds(4000));
        }
        return nStatus;
    }

    // True once the program has ended.
    bool Exited() { return m_bReaped || WaitForExit(milliseconds(0)) >= 0; }

    // The exit status once the program has ended, or -1 if it still runs.
    int WaitForExit(milliseconds bound)
    {
        if (m_bReaped)
            return m_nStatus;
        const auto end = Clock::now() + bound;
        for (;;) {
            int nStatus = 0;
            if (::waitpid(m_pid, &nStatus, WNOHANG) == m_pid) {
                m_bReaped = true;
                m_nStatus = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
                return m_nStatus;
            }
            if (Clock::now() >= end)
                return -1;
            std::this_thread::sleep_for(milliseconds(50));
        }
    }

    void Kill()
    {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_bReaped = true;
        m_nStatus = 128 + SIGKILL;
    }

private:
    std::string m_strDir;
    pid_t m_pid = -1;
    bool m_bReaped = false;
    int m_nStatus = -1;
};
