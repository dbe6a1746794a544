#include "QuillnookProcess.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

QuillnookProcess::~QuillnookProcess()
{
    stop();
}

std::string QuillnookProcess::binaryPath()
{
    if (const char* path = std::getenv("QUILLNOOK_BINARY"); path && *path)
        return path;
    return QUILLNOOK_BINARY_DEFAULT;
}

bool QuillnookProcess::start()
{
    stop();
    const std::string path = binaryPath();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
        std::perror(path.c_str());
        _exit(127);
    }
    m_pid = pid;
    return true;
}

bool QuillnookProcess::isRunning()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return false;
    }
    return true;
}

void QuillnookProcess::stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "quillnook did not quit on SIGTERM; killing it\n");
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_pid = -1;
}
