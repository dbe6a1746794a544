#pragma once

#include <string>

#include <sys/types.h>

// One run of the quillnook binary, started with the benchmark's environment
// and always ended (SIGTERM, then SIGKILL) and reaped before the next one.
class QuillnookProcess
{
public:
    QuillnookProcess() = default;
    ~QuillnookProcess();
    QuillnookProcess(const QuillnookProcess&) = delete;
    QuillnookProcess& operator=(const QuillnookProcess&) = delete;

    // $QUILLNOOK_BINARY, else the binary this benchmark was built against.
    static std::string binaryPath();

    bool start();
    // SIGTERM and wait; SIGKILL when it has not quit after a few seconds.
    void stop();
    bool isRunning();
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};
