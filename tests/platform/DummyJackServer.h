// A dummy JACK server for the tests that need one: jackd's dummy driver
// needs no sound card (Debian's jackd2).
#pragma once

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vako::test {

// A dummy JACK server under a private name, for this test process only: its
// clients find it through JACK_DEFAULT_SERVER, and none starts a server of
// its own (JACK_NO_START_SERVER).
//
// Only one such server runs at a time for a user on this machine, whichever
// test program, build folder or checkout starts it. JACK keeps each client's
// notification socket in one folder shared by all the user's servers, named
// after the client alone: two servers that each have a client "vakomidi",
// "fluidsynth" or jack_lsp's "lsp" take each other's sockets, and opening a
// client then fails ("Cannot open vakomidi client"). The server's lifetime is
// therefore guarded by a lock on a file, which the system lets go of even when
// a test is killed.
class DummyJackServer {
public:
    DummyJackServer() {
        const std::string name = "vako-test-" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        m_name = name;
    }
    ~DummyJackServer() {
        stop();
        if (m_lock >= 0) close(m_lock); // lets the next test's server start
    }

    // The server goes away, as when its user quits it. The lock stays held
    // until the end: clients of the vanished server may still hold sockets.
    void stop() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = 0;
        removeLeftSemaphores();
    }

    // False with the reason when no server could be started.
    bool start(std::string& why) {
        if (!takeLock(why)) return false;
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
        // A loaded machine may take a while to bring the server up.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
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
        why = "jackd did not answer within 30 s";
        return false;
    }

    // The file whose lock one dummy server at a time holds, for this user.
    static std::string lockPath() {
        const char* tmp = std::getenv("TMPDIR");
        const std::string dir = tmp && *tmp ? tmp : "/tmp";
        return dir + "/vako-dummy-jack-" + std::to_string(getuid()) + ".lock";
    }

private:
    // Waits for the other tests' servers to end; false after five minutes.
    bool takeLock(std::string& why) {
        if (m_lock >= 0) return true;
        m_lock = open(lockPath().c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (m_lock < 0) {
            why = "the lock file " + lockPath() + " could not be opened";
            return false;
        }
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
            if (std::chrono::steady_clock::now() >= giveUp) {
                why = "another test's JACK server held " + lockPath() + " for five minutes";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

    // JACK leaves the semaphores of its clients behind in /dev/shm when a
    // server ends under them; ours go with the server.
    void removeLeftSemaphores() const {
        const std::string prefix = "jack_sem." + std::to_string(getuid()) + "_" + m_name + "_";
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
            const std::string file = entry.path().filename().string();
            if (file.starts_with(prefix)) std::filesystem::remove(entry.path(), error);
        }
    }

    std::string m_name;
    pid_t m_pid = 0;
    int m_lock = -1;
};

} // namespace vako::test
