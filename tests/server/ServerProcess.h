#pragma once
// penvale-server run as a program, with its standard output and error on pipes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pv::server::test {

class ServerProcess {
public:
    // descriptorLimit, when not 0, is the program's limit on open descriptors
    // (soft and hard, as "ulimit -n" sets it).
    explicit ServerProcess(const std::vector<std::string>& args, int descriptorLimit = 0) {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all = {PENVALE_SERVER_PATH};
        if (descriptorLimit > 0) {
            all = {"/bin/sh", "-c", "ulimit -n " + std::to_string(descriptorLimit) + " && exec \"$0\" \"$@\"",
                   PENVALE_SERVER_PATH};
        }
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, all[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~ServerProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_out);
        close(m_err);
    }

    // The next line of standard output or error; empty at their end. Bounded so
    // that a broken program cannot hang the test.
    std::string OutLine() { return ReadLine(m_out, m_outBuffer); }
    std::string ErrLine() { return ReadLine(m_err, m_errBuffer); }

    // Reads standard error until a line contains text; returns that line.
    std::string ErrLineWith(const std::string& text) {
        for (std::string line = ErrLine(); !line.empty(); line = ErrLine()) {
            if (line.find(text) != std::string::npos) {
                return line;
            }
        }
        return {};
    }

    std::uint16_t WaitForPort() {
        std::string line = ErrLineWith("listening on ");
        std::size_t colon = line.rfind(':', line.find(','));
        return colon == std::string::npos ? 0 : static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1)));
    }

    pid_t Pid() const { return m_pid; }
    void CloseOut() { close(std::exchange(m_out, -1)); }
    void CloseErr() { close(std::exchange(m_err, -1)); }
    // Bytes written to standard output and not yet read.
    int PendingOut() const {
        int pending = 0;
        ioctl(m_out, FIONREAD, &pending);
        return pending;
    }
    // Waits for the program to end by itself, up to bound; -1 if it did not.
    int WaitUpTo(std::chrono::seconds bound) {
        auto end = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }

    // Stops the program as a user would and returns its exit status.
    int Stop() {
        kill(m_pid, SIGTERM);
        return Wait();
    }
    int Wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    static std::string ReadLine(int fd, std::string& buffer) {
        while (true) {
            std::size_t newline = buffer.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffer.substr(0, newline);
                buffer.erase(0, newline + 1);
                return line;
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 20000) <= 0) {
                return {};
            }
            char chunk[4096];
            ssize_t n = read(fd, chunk, sizeof chunk);
            if (n <= 0) {
                return {};
            }
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_outBuffer;
    std::string m_errBuffer;
};

}  // namespace pv::server::test
