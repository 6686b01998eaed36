// A dummy JACK server for the tests that need one: jackd's dummy driver
// needs no sound card (Debian's jackd2).
#pragma once

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vako::test {

// A dummy JACK server under a private name, for this test process only: its
// clients find it through JACK_DEFAULT_SERVER, and none starts a server of
// its own (JACK_NO_START_SERVER).
class DummyJackServer {
public:
    DummyJackServer() {
        const std::string name = "vako-test-" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
    }
    ~DummyJackServer() { stop(); }

    // The server goes away, as when its user quits it.
    void stop() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = 0;
    }

    // False with the reason when no server could be started.
    bool start(std::string& why) {
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>("jackd"),
                        const_cast<char*>("--no-realtime"),
                        const_cast<char*>("-d"),
                        const_cast<char*>("dummy"),
                        const_cast<char*>("-r"),
                        const_cast<char*>("48000"),
                        const_cast<char*>("-p"),
                        const_cast<char*>("256"),
                        nullptr};
        const int failed = posix_spawnp(&m_pid, "jackd", &files, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&files);
        if (failed != 0) {
            m_pid = 0;
            why = "jackd could not be run (is Debian's jackd2 installed?)";
            return false;
        }
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < giveUp) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = 0;
                why = "jackd ended at once";
                return false;
            }
            if (std::system("jack_lsp >/dev/null 2>&1") == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        why = "jackd did not answer within 10 s";
        return false;
    }

private:
    pid_t m_pid = 0;
};

} // namespace vako::test
