// Whether the JACK server that the program's JACK clients talk to still runs.
//
// RtMidi and FluidSynth keep their JACK clients to themselves and say nothing
// when the server goes away. Once it has, a call that reaches one of those
// clients may crash or never return: closing a port or the client crashes as
// soon as any other client of the program has failed to connect (the menus
// look for ports with a new client each time they open), and sending waits
// for ever once the client's queue is full, since nothing drains it any more.
// So a device on JACK holds a watch taken with its client, asks it before
// each call that reaches the client, and once the server is gone leaves that
// client alone for good: its few kilobytes stay behind rather than be freed.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vako {

class JackServerWatch {
public:
    // The watch of the JACK server running now, shared by every device that
    // asks while that server runs; nullptr when no server runs. It is a
    // client of that server of its own, without ports.
    static std::shared_ptr<JackServerWatch> ofRunningServer();
    ~JackServerWatch();
    JackServerWatch(const JackServerWatch&) = delete;
    JackServerWatch& operator=(const JackServerWatch&) = delete;

    // True from the moment the server went away (or shut this client out).
    bool serverGone() const;

    // `callback` runs once, on JACK's thread, when the server goes away (at
    // once, on this thread, when it is gone already). It must return at once
    // (set a flag, stamp a time). After forget(owner) returns it no longer runs.
    void whenGone(const void* owner, std::function<void()> callback);
    void forget(const void* owner);

private:
    struct Impl;
    explicit JackServerWatch(std::unique_ptr<Impl> impl);
    static void onShutdown(int status, const char* reason, void* self);

    std::unique_ptr<Impl> m_impl;
};

} // namespace vako
