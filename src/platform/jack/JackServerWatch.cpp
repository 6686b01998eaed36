#include "platform/jack/JackServerWatch.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <utility>

namespace vako {

struct JackServerWatch::Impl {
    jack_client_t* client = nullptr;
    std::atomic<bool> gone{false};
    std::mutex mutex; // guards `callbacks` and runs them
    std::vector<std::pair<const void*, std::function<void()>>> callbacks;
};

namespace {

std::mutex g_currentMutex;
std::weak_ptr<JackServerWatch> g_current; // the watch of the server running now

} // namespace

std::shared_ptr<JackServerWatch> JackServerWatch::ofRunningServer() {
    std::lock_guard lock(g_currentMutex);
    if (auto watch = g_current.lock(); watch && !watch->serverGone()) return watch;
    jack_status_t status{};
    jack_client_t* client = jack_client_open("vakomidi", JackNoStartServer, &status);
    if (!client) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->client = client;
    std::shared_ptr<JackServerWatch> watch(new JackServerWatch(std::move(impl)));
    // Told on the client's own thread; the client needs no activation for it.
    jack_on_info_shutdown(
        client,
        [](jack_status_t code, const char* reason, void* self) {
            onShutdown(static_cast<int>(code), reason, self);
        },
        watch.get());
    g_current = watch;
    return watch;
}

JackServerWatch::JackServerWatch(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

JackServerWatch::~JackServerWatch() {
    // A client of a vanished server is left alone, as the devices leave theirs.
    if (!m_impl->gone.load(std::memory_order_acquire)) jack_client_close(m_impl->client);
}

bool JackServerWatch::serverGone() const {
    return m_impl->gone.load(std::memory_order_acquire);
}

void JackServerWatch::onShutdown(int, const char*, void* self) {
    Impl& impl = *static_cast<JackServerWatch*>(self)->m_impl;
    impl.gone.store(true, std::memory_order_release);
    std::lock_guard lock(impl.mutex);
    for (auto& [owner, callback] : impl.callbacks) callback();
    impl.callbacks.clear();
}

void JackServerWatch::whenGone(const void* owner, std::function<void()> callback) {
    std::lock_guard lock(m_impl->mutex);
    if (m_impl->gone.load(std::memory_order_acquire)) {
        callback();
        return;
    }
    m_impl->callbacks.emplace_back(owner, std::move(callback));
}

void JackServerWatch::forget(const void* owner) {
    std::lock_guard lock(m_impl->mutex);
    std::erase_if(m_impl->callbacks, [owner](const auto& c) { return c.first == owner; });
}

} // namespace vako
