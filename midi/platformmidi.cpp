// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/platformmidi.h"

#include <RtMidi.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum class System { alsa, jack };

struct Device {
    System system;
    std::string name;   // as the system names it, in full
};

const char clientName[] = "Tarvik";

// The longest a connection waits for its ports and its link to show.
constexpr int connectSeconds = 2;

// RtMidi reports through this instead of printing or throwing.
struct ErrorSink {
    std::string text;
};

void collectError(RtMidiError::Type type, const std::string& text, void* user)
{
    if (type == RtMidiError::DEBUG_WARNING || user == nullptr)
        return;
    static_cast<ErrorSink*>(user)->text = text;
}

void ignoreError(RtMidiError::Type, const std::string&, void*)
{
}

// libjack prints to standard error by default; the program tells its user itself.
void silentJack(const char*)
{
}

// "MidiInAlsa::openPort: ALSA error making port connection." reads better without
// the class and function in front.
std::string readable(const std::string& text)
{
    const auto colons = text.find("::");
    const auto colon = text.find(": ");
    if (colons != std::string::npos && colon != std::string::npos && colons < colon)
        return text.substr(colon + 2);
    return text;
}

bool compiled(RtMidi::Api api)
{
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

RtMidi::Api apiOf(System system)
{
    return system == System::alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

const char* systemName(System system)
{
    return system == System::alsa ? "ALSA" : "JACK";
}

template <class Port> void listPorts(System system, std::vector<Device>& devices)
{
    // A busy JACK server can turn away a client now and then; RtMidi then warns and
    // lists nothing. Ask again a few times before taking "no ports" for an answer.
    for (int attempt = 0; attempt < 5; ++attempt) {
        bool warned = false;
        try {
            Port port(apiOf(system), clientName);
            port.setErrorCallback(
                [](RtMidiError::Type, const std::string&, void* flag) { *static_cast<bool*>(flag) = true; },
                &warned);
            const unsigned count = port.getPortCount();
            if (warned && count == 0 && system == System::jack) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                continue;
            }
            for (unsigned i = 0; i < count; ++i) {
                const std::string name = port.getPortName(i);
                if (!name.empty())
                    devices.push_back({system, name});
            }
            return;
        } catch (const RtMidiError&) {
            // The system did not start: it adds no ports.
            return;
        }
    }
}

// Where the port of that name stands in the system's list right now (it may have
// moved since the list was made), or -1.
template <class Port> int currentIndex(Port& port, const std::string& name)
{
    const unsigned count = port.getPortCount();
    for (unsigned i = 0; i < count; ++i)
        if (port.getPortName(i) == name)
            return static_cast<int>(i);
    return -1;
}

// An ALSA port's name without the client and port numbers at its end ("synth:in
// 128:0" is "synth:in"): a device that comes back keeps its name, not its numbers.
std::string withoutNumbers(const std::string& name)
{
    const size_t space = name.rfind(' ');
    if (space == std::string::npos)
        return name;
    const std::string tail = name.substr(space + 1);
    const size_t colon = tail.find(':');
    const auto digits = [](const std::string& s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (colon == std::string::npos || !digits(tail.substr(0, colon)) || !digits(tail.substr(colon + 1)))
        return name;
    return name.substr(0, space);
}

std::string countText(int count, const char* kind)
{
    if (count == 0)
        return std::string("no MIDI ") + kind + " devices were found";
    return "the system has " + std::to_string(count) + " MIDI " + kind +
           (count == 1 ? " device" : " devices") + ", numbered from 0";
}

// What the system's threads reach through their callbacks: the watch client's state and
// each input port's relay. Whoever holds such a client holds this too, so that it
// outlives every callback that can still come.
struct WatchState {
    std::atomic<bool> gone{false};          // the server shut this client down
    std::atomic<unsigned long> cycles{0};   // process cycles the server has run
    // RtMidi hands a System Exclusive message over only once its F7 is in, however
    // many pieces it came in. A port of the watch client, connected to the same JACK
    // source as the input port, counts the bytes as they arrive, so that a long
    // message can be followed while it comes.
    std::atomic<jack_port_t*> tap{nullptr};
    std::atomic<unsigned long> tapBytes{0};
    // Another port, connected to our own output port, sees each message in the cycle
    // it goes out on the port (the server runs us after the port's client): when it
    // reached the wire, whenever RtMidi's client got to it.
    std::atomic<jack_port_t*> outTap{nullptr};
    std::atomic<unsigned long> outTapBytes{0};
    std::atomic<jack_time_t> outTapTime{0};   // of the last message seen there
};

struct InputRelay {
    // Read on the MIDI service's thread, which can still be delivering while a close
    // clears them: the context is set before the handler and cleared after it, and a
    // close waits for the callbacks under way (running) before it goes on.
    std::atomic<TMIDIInputHandler> handler{nullptr};
    std::atomic<void*> context{nullptr};
    std::atomic<int> running{0};
    std::atomic<unsigned long> deliveredBytes{0};

    // Cuts the handler off; once this returns no callback is inside it.
    void detach()
    {
        handler.store(nullptr);
        context.store(nullptr);
        const auto giveUp = Clock::now() + std::chrono::seconds(1);
        while (running.load() != 0 && Clock::now() < giveUp)
            std::this_thread::yield();
    }
};

// Tears down what talks to a MIDI system (ports, clients) on a thread of its own, one
// job after another in the order given. A JACK server that has stopped answering holds
// such a call for as long as it is stopped: the owner waits a moment for each job and
// then goes on, and the job finishes on its own, keeping alive what it needs, whenever
// the server answers again or goes away (or with the process).
class Closer {
public:
    Closer() : state(std::make_shared<State>()) {}
    ~Closer()
    {
        {
            std::lock_guard<std::mutex> lock(state->lock);
            state->stopping = true;
        }
        state->wake.notify_all();
        if (!worker.joinable())
            return;
        // Joined when it is done; left to finish a job stuck on a server otherwise.
        std::unique_lock<std::mutex> lock(state->lock);
        const auto bound = state->stuck ? std::chrono::milliseconds(0) : waitBound();
        const bool idle =
            state->idle.wait_for(lock, bound, [&] { return state->jobs.empty() && !state->busy; });
        lock.unlock();
        if (idle)
            worker.join();
        else
            worker.detach();
    }
    Closer(const Closer&) = delete;
    Closer& operator=(const Closer&) = delete;

    // Runs job (destroying what it holds) and waits for it a moment at most; at once
    // should an earlier job still be stuck. True when it is done.
    template <class Job> bool run(Job job)
    {
        // The job, and what it holds, ends on the worker: nothing of it stays here.
        auto holder = std::make_shared<Job>(std::move(job));
        std::unique_lock<std::mutex> lock(state->lock);
        if (!worker.joinable()) {
            try {
                worker = std::thread(work, state);
            } catch (const std::system_error&) {
                lock.unlock();
                (*holder)();   // no thread to be had: here, then
                return true;
            }
        }
        const unsigned long serial = ++state->queued;
        state->jobs.push_back([holder = std::move(holder)]() mutable {
            (*holder)();
            holder.reset();
        });
        state->wake.notify_all();
        const auto bound = state->stuck ? std::chrono::milliseconds(0) : waitBound();
        const bool done = state->idle.wait_for(lock, bound, [&] { return state->finished >= serial; });
        if (!done)
            state->stuck = true;
        return done;
    }

    // Waits, for at most bound, until every job given so far is done. True then.
    bool waitIdle(std::chrono::milliseconds bound)
    {
        std::unique_lock<std::mutex> lock(state->lock);
        return state->idle.wait_for(lock, bound, [&] { return state->finished >= state->queued; });
    }

private:
    static std::chrono::milliseconds waitBound() { return std::chrono::milliseconds(250); }

    struct State {
        std::mutex lock;
        std::condition_variable wake;
        std::condition_variable idle;
        std::deque<std::function<void()>> jobs;
        unsigned long queued = 0;
        unsigned long finished = 0;
        bool busy = false;
        bool stuck = false;   // a job outlasted the owner's wait and is not done yet
        bool stopping = false;
    };

    static void work(std::shared_ptr<State> state)
    {
        std::unique_lock<std::mutex> lock(state->lock);
        for (;;) {
            state->wake.wait(lock, [&] { return state->stopping || !state->jobs.empty(); });
            if (state->jobs.empty())
                return;
            std::function<void()> job = std::move(state->jobs.front());
            state->jobs.pop_front();
            state->busy = true;
            lock.unlock();
            try {
                job();
            } catch (...) {
                // A teardown that throws has still ended.
            }
            job = nullptr;
            lock.lock();
            state->busy = false;
            ++state->finished;
            state->stuck = false;
            state->idle.notify_all();
        }
    }

    std::shared_ptr<State> state;
    std::thread worker;
};

}   // namespace

struct TPlatformMIDI::Impl {
    std::vector<Device> ins;
    std::vector<Device> outs;

    // A client of our own that stays with the JACK server to learn when it goes away.
    jack_client_t* watch = nullptr;
    std::shared_ptr<WatchState> watchState = std::make_shared<WatchState>();
    // Bytes counted by the taps and relays of earlier clients and ports, so that the
    // input's count only grows.
    unsigned long bytesBefore = 0;

    std::unique_ptr<RtMidiIn> in;
    std::unique_ptr<RtMidiOut> out;
    // What each side was opened on, for watching its device: the number in the list,
    // the device, our own port's full name (JACK) and whether the device is away.
    struct Side {
        bool used = false;
        int index = -1;
        Device device{System::alsa, std::string()};
        std::string ours;
        bool away = false;
    };
    Side inSide, outSide;
    TMIDIInputHandler inHandler = nullptr;
    void* inContext = nullptr;
    std::shared_ptr<InputRelay> relay;   // the open input's
    System inSystem = System::alsa;
    System outSystem = System::alsa;
    ErrorSink inErrors;
    ErrorSink outErrors;

    // The JACK server ran no cycles while the last message should have left: it has
    // stalled, and that message still waits in RtMidi's ring buffer. RtMidi's JACK back
    // end waits without end for room there, so nothing more is handed to it until the
    // server has moved on.
    bool outStalled = false;
    unsigned long stalledAt = 0;

    bool tapping = false;      // the tap is connected to the open input's source
    bool outTapping = false;   // the output tap is connected to the open output port

    // Every teardown is handed to it before it goes (the destructor's body): it then
    // waits a moment for the last of them, or leaves them to finish on their own.
    Closer closer;

    bool jackGone() const { return watchState->gone.load(std::memory_order_acquire); }
    unsigned long outTapBytes() const { return watchState->outTapBytes.load(std::memory_order_acquire); }

    // When the message of size bytes handed over after the output tap had counted
    // before reached the wire, as the tap saw it. RtMidi's client may run late (a busy
    // machine), and a pause kept after a message must be a pause on the wire. Waits a
    // second at most for the tap; then the message counts as going out now.
    Clock::time_point timeOnTheWire(unsigned long before, size_t size)
    {
        const auto giveUp = Clock::now() + std::chrono::seconds(1);
        while (outTapBytes() - before < size && Clock::now() < giveUp && !jackGone())
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        const auto now = Clock::now();
        if (outTapBytes() - before < size)
            return now;
        const jack_time_t at = watchState->outTapTime.load(std::memory_order_acquire);
        const jack_time_t jackNow = jack_get_time();
        return jackNow > at ? now - std::chrono::microseconds(jackNow - at) : now;
    }
    unsigned long jackCycles() const { return watchState->cycles.load(std::memory_order_acquire); }

    // The bytes of the events on port this cycle.
    static unsigned long tapCycle(jack_port_t* port, jack_nframes_t frames)
    {
        // PipeWire's JACK layer has no buffer for a port while its links are being set up.
        void* buffer = port != nullptr ? jack_port_get_buffer(port, frames) : nullptr;
        unsigned long bytes = 0;
        if (buffer == nullptr)
            return 0;
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0)
                bytes += event.size;
        }
        return bytes;
    }

    static int onJackCycle(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<WatchState*>(arg);
        if (const unsigned long bytes = tapCycle(self->tap.load(std::memory_order_acquire), frames))
            self->tapBytes.fetch_add(bytes, std::memory_order_release);
        if (const unsigned long bytes = tapCycle(self->outTap.load(std::memory_order_acquire), frames)) {
            // The time now, not the cycle's frame time: a server whose clients overrun
            // their period (a busy machine) lets its frame clock fall behind, and a
            // pause counted from there would be short on the wire.
            self->outTapTime.store(jack_get_time(), std::memory_order_release);
            self->outTapBytes.fetch_add(bytes, std::memory_order_release);
        }
        self->cycles.fetch_add(1, std::memory_order_release);
        return 0;
    }

    static void onJackShutdown(void* arg)
    {
        static_cast<WatchState*>(arg)->gone.store(true, std::memory_order_release);
    }

    static void onInput(double, std::vector<unsigned char>* message, void* arg)
    {
        auto* relay = static_cast<InputRelay*>(arg);
        if (message == nullptr || message->empty())
            return;
        relay->running.fetch_add(1);
        relay->deliveredBytes.fetch_add(message->size(), std::memory_order_release);
        const TMIDIInputHandler handler = relay->handler.load();
        if (handler != nullptr)
            handler(message->data(), message->size(), relay->context.load());
        relay->running.fetch_sub(1);
    }

    // Connects the tap to source; without it, only whole messages are counted.
    void startTap(const std::string& source)
    {
        if (watch == nullptr)
            return;
        jack_port_t* port = watchState->tap.load(std::memory_order_acquire);
        if (port == nullptr) {
            port = jack_port_register(watch, "tap", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
            if (port == nullptr)
                return;
            watchState->tap.store(port, std::memory_order_release);
        }
        tapping = jack_connect(watch, source.c_str(), jack_port_name(port)) == 0;
    }
    // The disconnect goes through the closer, as it may wait on the server.
    void stopTap()
    {
        jack_port_t* port = watchState->tap.load(std::memory_order_acquire);
        if (tapping && port != nullptr && watch != nullptr && !jackGone()) {
            jack_client_t* client = watch;
            closer.run([client, port, keep = watchState] { jack_port_disconnect(client, port); });
        }
        tapping = false;
    }

    // Waits until the server has run this many more process cycles: by then a new
    // connection is part of the graph, and RtMidi's back end has moved a message from
    // its ring buffer to the port. Bounded, should the server stall or go away.
    void waitJackCycles(unsigned long cycles) { waitJackCycles(cycles, jackCycles()); }
    void waitJackCycles(unsigned long cycles, unsigned long start)
    {
        const auto giveUp = Clock::now() + std::chrono::seconds(1);
        while (jackCycles() - start < cycles && Clock::now() < giveUp && !jackGone())
            std::this_thread::sleep_for(std::chrono::microseconds(500));
    }

    // Until a new connection carries messages: a few process cycles, and no less than
    // a tenth of a second, as PipeWire's JACK layer readies a link in both programs in
    // their own time (a busy synthesiser program can lag behind the cycles).
    void settleJackConnection()
    {
        const auto until = Clock::now() + std::chrono::milliseconds(100);
        waitJackCycles(3);
        std::this_thread::sleep_until(until);
    }

    // JACK client names of ours that no other program shares, so that our ports'
    // full names are known.
    // This process's own JACK ports (the watch client's tap, the ports of the open
    // ports' clients) are no devices to offer.
    void dropOwnPorts(std::vector<Device>& devices) const
    {
        const std::string own = std::string(clientName) + "-" + std::to_string(getpid()) + "-";
        const std::string watchName =
            watch != nullptr ? std::string(jack_get_client_name(watch)) + ":" : std::string();
        devices.erase(std::remove_if(devices.begin(), devices.end(),
                                     [&](const Device& d) {
                                         return d.system == System::jack &&
                                                (d.name.rfind(own, 0) == 0 ||
                                                 (!watchName.empty() && d.name.rfind(watchName, 0) == 0));
                                     }),
                      devices.end());
    }

    std::string uniqueClientName()
    {
        static std::atomic<unsigned> serial{0};
        return std::string(clientName) + "-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    }

    // Connects two ports by their full names; empty text on success. A port just
    // registered, by another program or by a client of our own, may not be known to
    // the watch client at once (PipeWire's JACK layer tells each client of new ports
    // and links in its own time): both ports are waited for, the connection is made and
    // waited for until it shows, for at most connectSeconds in all; the error only then.
    std::string connectJack(const std::string& source, const std::string& destination)
    {
        if (watch == nullptr)
            return "The JACK server is not running.";
        const auto giveUp = Clock::now() + std::chrono::seconds(connectSeconds);
        for (;;) {
            jack_port_t* to = jack_port_by_name(watch, destination.c_str());
            if (to != nullptr && jack_port_by_name(watch, source.c_str()) != nullptr) {
                const int result = jack_connect(watch, source.c_str(), destination.c_str());
                if (result == 0 || result == EEXIST) {
                    // The server took it; the link may still be on its way to us.
                    while (!jack_port_connected_to(to, source.c_str()) && Clock::now() < giveUp &&
                           !jackGone())
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    return {};
                }
            }
            if (Clock::now() >= giveUp || jackGone())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return "JACK could not connect \"" + source + "\" to \"" + destination +
               "\"; the port may have gone away.";
    }

    // True when a JACK server answers; never starts one.
    bool jackRunning()
    {
        if (watch != nullptr && !jackGone())
            return true;
        if (watch != nullptr) {
            // Ports on the server that went away stay dead even if a new one starts.
            if (in && inSystem == System::jack)
                dropInput();
            if (out && outSystem == System::jack)
                dropOutput();
        }
        dropWatch();
        // The library keeps state for the whole process: a client of a server that died
        // must be gone before a new client opens (closing it meanwhile can crash inside
        // the library). Closing a dead client takes a second at most, as its port
        // waits for a process cycle that never comes.
        if (!closer.waitIdle(std::chrono::seconds(3)))
            return false;
        // A busy server can fail an open now and then (a client of the same name still
        // going away, a slow answer): try again briefly. No server at all says so at
        // once, and is not retried.
        for (int attempt = 0; attempt < 5; ++attempt) {
            jack_status_t status{};
            watch = jack_client_open(clientName, JackNoStartServer, &status);
            if (watch != nullptr || (status & JackServerFailed))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (watch == nullptr)
            return false;
        watchState = std::make_shared<WatchState>();
        watchState->outTap.store(
            jack_port_register(watch, "out-tap", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0),
            std::memory_order_release);
        jack_on_shutdown(watch, onJackShutdown, watchState.get());
        jack_set_process_callback(watch, onJackCycle, watchState.get());
        if (jack_activate(watch) != 0) {
            dropWatch();
            return false;
        }
        return true;
    }

    // Closes the watch client, also one whose server died (its library lets go of it
    // then without a word to the server).
    void dropWatch()
    {
        tapping = false;
        outTapping = false;
        if (watch == nullptr)
            return;
        bytesBefore += watchState->tapBytes.load(std::memory_order_acquire);
        watchState->tap.store(nullptr, std::memory_order_release);
        watchState->outTap.store(nullptr, std::memory_order_release);
        jack_client_t* client = watch;
        watch = nullptr;
        // Closed also when its server died: the library then lets go of it without a
        // word to the server.
        closer.run([client, keep = watchState] { jack_client_close(client); });
        watchState = std::make_shared<WatchState>();
    }

    // Closes and destroys the open ports, through the closer: RtMidi's own clients go
    // away with them, so nothing of theirs can call back later, also when their JACK
    // server died.
    void dropInput()
    {
        stopTap();
        if (relay) {
            relay->detach();
            bytesBefore += relay->deliveredBytes.load(std::memory_order_acquire);
        }
        if (in) {
            in->setErrorCallback(ignoreError, nullptr);
            // Moved in, so that its last owner is the closer; the relay its callback
            // was given goes only after it.
            closer.run([port = std::shared_ptr<RtMidiIn>(std::move(in)), keep = relay]() mutable {
                port->cancelCallback();
                port.reset();
            });
        }
        in.reset();
        relay.reset();
    }
    void dropOutput()
    {
        outTapping = false;
        if (!out)
            return;
        // Its errors went to outErrors, which may be gone by the time it closes.
        out->setErrorCallback(ignoreError, nullptr);
        closer.run([port = std::shared_ptr<RtMidiOut>(std::move(out))]() mutable { port.reset(); });
        out.reset();
    }

    // What opening either side shares: the device's number checked, the JACK server a
    // JACK device needs asked for (never started), the client name chosen and what the
    // system throws made readable. open(device, client) makes and opens the port.
    template <class Open>
    std::string openDevice(const std::vector<Device>& devices, int n, bool input, Open open)
    {
        const char* kind = input ? "input" : "output";
        const int count = static_cast<int>(devices.size());
        if (n < 0 || n >= count)
            return std::string("There is no MIDI ") + kind + " device number " + std::to_string(n) + ": " +
                   countText(count, kind) + ".";
        const Device device = devices[static_cast<size_t>(n)];
        const bool jack = device.system == System::jack;
        if (jack && !jackRunning())
            return "The JACK server is not running, so \"" + device.name + "\" cannot be opened.";
        try {
            const std::string client = jack ? uniqueClientName() : std::string(clientName);
            return open(device, client);
        } catch (const RtMidiError& e) {
            return readable(e.getMessage());
        } catch (const std::exception& e) {
            return std::string(systemName(device.system)) + ": " + e.what();
        }
    }

    // Opens port on device under the name own ("in" or "out"). On JACK: a port of our
    // own, connected by name (from the device to an input, from an output to the
    // device), so that ports coming and going meanwhile cannot make us use the wrong
    // one. On ALSA: the device's port, looked up by its name as the list is now.
    // Empty text on success; RtMidi's complaints arrive in errors.
    std::string openOn(RtMidi& port, const Device& device, const std::string& client, bool input,
                       ErrorSink& errors)
    {
        const std::string own = input ? "in" : "out";
        const std::string side = input ? "input" : "output";
        if (device.system == System::jack) {
            port.openVirtualPort(own);
            if (errors.text.empty()) {
                const std::string ours = client + ":" + own;
                const std::string error =
                    input ? connectJack(device.name, ours) : connectJack(ours, device.name);
                if (!error.empty())
                    return error;
            }
        } else {
            const int index = currentIndex(port, device.name);
            if (index < 0)
                return "The MIDI " + side + " device \"" + device.name + "\" is no longer there.";
            port.openPort(static_cast<unsigned>(index), own);
            if (errors.text.empty() && !port.isPortOpen())
                errors.text = "The MIDI " + side + " device \"" + device.name + "\" cannot be opened.";
        }
        return errors.text.empty() ? std::string() : readable(errors.text);
    }

    bool usable(System system) const { return system != System::jack || !jackGone(); }

    // A JACK side: away while its device's port is not there; connected again to it
    // (and the input's tap with it) once it is there and not linked to ours. True when
    // it was connected again.
    bool watchJack(Side& side, bool input)
    {
        if (watch == nullptr || jackGone()) {
            side.away = true;
            return false;
        }
        jack_port_t* theirs = jack_port_by_name(watch, side.device.name.c_str());
        if (theirs == nullptr) {
            side.away = true;
            return false;
        }
        if (jack_port_connected_to(theirs, side.ours.c_str())) {
            side.away = false;
            return false;
        }
        const std::string error =
            input ? connectJack(side.device.name, side.ours) : connectJack(side.ours, side.device.name);
        side.away = !error.empty();
        if (side.away)
            return false;
        if (input)
            startTap(side.device.name);
        settleJackConnection();
        return true;
    }
};

TPlatformMIDI::TPlatformMIDI() : impl(std::make_unique<Impl>())
{
    jack_set_error_function(silentJack);
    jack_set_info_function(silentJack);
    // Nothing in this process may start a JACK server of its own.
    setenv("JACK_NO_START_SERVER", "1", 0);
}

TPlatformMIDI::~TPlatformMIDI()
{
    closeInput();
    closeOutput();
    impl->dropWatch();
}

void TPlatformMIDI::enumerate()
{
    closeInput();
    closeOutput();
    impl->ins.clear();
    impl->outs.clear();
    // The ALSA sequencer only when its device is there: opening it otherwise makes
    // the ALSA library complain on standard error.
    if (compiled(RtMidi::LINUX_ALSA) && access("/dev/snd/seq", R_OK | W_OK) == 0) {
        listPorts<RtMidiIn>(System::alsa, impl->ins);
        listPorts<RtMidiOut>(System::alsa, impl->outs);
    }
    if (compiled(RtMidi::UNIX_JACK) && impl->jackRunning()) {
        listPorts<RtMidiIn>(System::jack, impl->ins);
        listPorts<RtMidiOut>(System::jack, impl->outs);
        impl->dropOwnPorts(impl->ins);
        impl->dropOwnPorts(impl->outs);
    }
}

int TPlatformMIDI::inputCount() const
{
    return static_cast<int>(impl->ins.size());
}
int TPlatformMIDI::outputCount() const
{
    return static_cast<int>(impl->outs.size());
}

std::string TPlatformMIDI::inputName(int n) const
{
    if (n < 0 || n >= inputCount())
        return {};
    return impl->ins[static_cast<size_t>(n)].name;
}

std::string TPlatformMIDI::outputName(int n) const
{
    if (n < 0 || n >= outputCount())
        return {};
    return impl->outs[static_cast<size_t>(n)].name;
}

std::string TPlatformMIDI::openInput(int n, TMIDIInputHandler handler, void* context)
{
    closeInput();
    return impl->openDevice(impl->ins, n, true, [&](const Device& device, const std::string& client) {
        // The relay outlives the port (declared first), wherever the port ends.
        auto relay = std::make_shared<InputRelay>();
        auto port = std::make_unique<RtMidiIn>(apiOf(device.system), client, 100);
        impl->inErrors.text.clear();
        port->setErrorCallback(collectError, &impl->inErrors);
        relay->context.store(context);
        relay->handler.store(handler);
        port->setCallback(&Impl::onInput, relay.get());
        port->ignoreTypes(false, true, true);   // System Exclusive messages wanted
        const std::string error = impl->openOn(*port, device, client, true, impl->inErrors);
        if (!error.empty())
            return error;
        const bool jack = device.system == System::jack;
        if (jack)
            impl->startTap(device.name);
        // Later warnings come from the service's own thread: nobody listens to them.
        port->setErrorCallback(ignoreError, nullptr);
        impl->in = std::move(port);
        impl->relay = std::move(relay);
        impl->inSystem = device.system;
        impl->inSide = {true, n, device, client + ":in", false};
        impl->inHandler = handler;
        impl->inContext = context;
        if (jack)
            impl->settleJackConnection();
        return std::string();
    });
}

std::string TPlatformMIDI::openOutput(int n)
{
    closeOutput();
    return impl->openDevice(impl->outs, n, false, [&](const Device& device, const std::string& client) {
        auto port = std::make_unique<RtMidiOut>(apiOf(device.system), client);
        impl->outErrors.text.clear();
        port->setErrorCallback(collectError, &impl->outErrors);
        const std::string error = impl->openOn(*port, device, client, false, impl->outErrors);
        if (!error.empty())
            return error;
        impl->out = std::move(port);
        impl->outSystem = device.system;
        impl->outSide = {true, n, device, client + ":out", false};
        impl->outStalled = false;
        impl->outTapping = false;
        if (device.system == System::jack) {
            jack_port_t* tap = impl->watchState->outTap.load(std::memory_order_acquire);
            // Without it, a message counts as on the wire a process cycle after it was handed over.
            if (tap != nullptr)
                impl->outTapping = impl->connectJack(client + ":out", jack_port_name(tap)).empty();
            impl->settleJackConnection();
        }
        return std::string();
    });
}

void TPlatformMIDI::closeInput()
{
    impl->inSide.used = false;
    impl->dropInput();
}

void TPlatformMIDI::closeOutput()
{
    impl->outSide.used = false;
    impl->dropOutput();
}

TDeviceWatch TPlatformMIDI::watchDevices()
{
    TDeviceWatch result;
    for (const bool input : {true, false}) {
        Impl::Side& side = input ? impl->inSide : impl->outSide;
        if (!side.used)
            continue;
        const Impl::Side before = side;
        bool reopen = false;
        if (side.device.system == System::jack) {
            reopen = impl->watchJack(side, input);
        } else {
            std::vector<Device> now;
            if (input)
                listPorts<RtMidiIn>(System::alsa, now);
            else
                listPorts<RtMidiOut>(System::alsa, now);
            const std::string wanted = withoutNumbers(side.device.name);
            const auto found = std::find_if(
                now.begin(), now.end(), [&](const Device& d) { return withoutNumbers(d.name) == wanted; });
            if (found == now.end()) {
                side.away = true;
            } else if (side.away || found->name != side.device.name) {
                // Back, perhaps under other numbers: opened again on it.
                std::vector<Device>& list = input ? impl->ins : impl->outs;
                if (side.index >= 0 && static_cast<size_t>(side.index) < list.size())
                    list[static_cast<size_t>(side.index)].name = found->name;
                const std::string error = input ? openInput(before.index, impl->inHandler, impl->inContext)
                                                : openOutput(before.index);
                if (error.empty()) {
                    reopen = true;
                } else {
                    side = before;   // still watched, still away
                    side.away = true;
                }
            }
        }
        result.reconnected = result.reconnected || reopen;
        (input ? result.inputAway : result.outputAway) = side.away;
    }
    return result;
}

unsigned long TPlatformMIDI::inputBytes() const
{
    unsigned long now = 0;
    if (impl->tapping)
        now = impl->watchState->tapBytes.load(std::memory_order_acquire);
    else if (impl->relay)
        now = impl->relay->deliveredBytes.load(std::memory_order_acquire);
    return impl->bytesBefore + now;
}

bool TPlatformMIDI::inputOpen() const
{
    return impl->in != nullptr && impl->usable(impl->inSystem);
}
bool TPlatformMIDI::outputOpen() const
{
    return impl->out != nullptr && impl->usable(impl->outSystem);
}

bool TPlatformMIDI::send(const uint8_t* message, size_t size)
{
    if (message == nullptr || size == 0 || !outputOpen())
        return false;
    if (impl->outSystem == System::jack && impl->outStalled) {
        if (impl->jackCycles() - impl->stalledAt < 2)
            return false;
        impl->outStalled = false;
    }
    // The ALSA sequencer refuses an event while its queue is full; the message is
    // then offered again until the queue takes it.
    const auto giveUp = Clock::now() + std::chrono::seconds(2);
    // Counted before the hand-over: the tap may see the message before the call returns.
    const unsigned long tappedBefore = impl->outTapBytes();
    for (;;) {
        impl->outErrors.text.clear();
        try {
            impl->out->sendMessage(message, size);
        } catch (const RtMidiError&) {
            return false;
        }
        if (impl->outErrors.text.empty())
            break;
        const bool full = impl->outSystem == System::alsa &&
                          impl->outErrors.text.find("error sending") != std::string::npos;
        if (!full || Clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    auto taken = Clock::now();
    const unsigned long cycleAtSend = impl->jackCycles();
    if (impl->outSystem == System::jack) {
        // JACK's back end puts the message on the port in the server's next cycle, up to
        // a cycle later: its wire time counts from there, so that a pause kept after it
        // is a pause on the wire.
        impl->waitJackCycles(1, cycleAtSend);
        if (impl->jackCycles() == cycleAtSend) {
            impl->outStalled = true;
            impl->stalledAt = cycleAtSend;
            return impl->usable(impl->outSystem);
        }
        taken = impl->outTapping ? impl->timeOnTheWire(tappedBefore, size) : Clock::now();
    }
    std::this_thread::sleep_until(taken + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(midiWireSeconds(size))));
    // JACK's back end hands the message to the port in its next process cycle; two
    // cycles on it has surely left RtMidi's ring buffer (after a dump's wire time this
    // has long happened).
    if (impl->outSystem == System::jack) {
        impl->waitJackCycles(2, cycleAtSend);
        if (impl->jackCycles() - cycleAtSend < 2) {
            impl->outStalled = true;
            impl->stalledAt = cycleAtSend;
        }
    }
    return impl->usable(impl->outSystem);
}
