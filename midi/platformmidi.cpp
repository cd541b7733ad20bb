#include "midi/platformmidi.h"

#include <RtMidi.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdlib>
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

void ignoreError(RtMidiError::Type, const std::string&, void*) {}

// libjack prints to standard error by default; the program tells its user itself.
void silentJack(const char*) {}

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

template <class Port>
void listPorts(System system, std::vector<Device>& devices)
{
    // A busy JACK server can turn away a client now and then; RtMidi then warns and
    // lists nothing. Ask again a few times before taking "no ports" for an answer.
    for (int attempt = 0; attempt < 5; ++attempt) {
        bool warned = false;
        try {
            Port port(apiOf(system), clientName);
            port.setErrorCallback([](RtMidiError::Type, const std::string&, void* flag) {
                *static_cast<bool*>(flag) = true;
            }, &warned);
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
template <class Port>
int currentIndex(Port& port, const std::string& name)
{
    const unsigned count = port.getPortCount();
    for (unsigned i = 0; i < count; ++i)
        if (port.getPortName(i) == name)
            return static_cast<int>(i);
    return -1;
}

std::string countText(int count, const char* kind)
{
    if (count == 0)
        return std::string("no MIDI ") + kind + " devices were found";
    return "the system has " + std::to_string(count) + " MIDI " + kind +
           (count == 1 ? " device" : " devices") + ", numbered from 0";
}

}  // namespace

struct TPlatformMIDI::Impl {
    std::vector<Device> ins;
    std::vector<Device> outs;

    // A client of our own that stays with the JACK server to learn when it goes away.
    jack_client_t* watch = nullptr;
    std::atomic<bool> jackGone{false};
    std::atomic<unsigned long> jackCycles{0};   // process cycles the server has run

    std::unique_ptr<RtMidiIn> in;
    std::unique_ptr<RtMidiOut> out;
    System inSystem = System::alsa;
    System outSystem = System::alsa;
    ErrorSink inErrors;
    ErrorSink outErrors;

    // Read on the MIDI service's thread, which can still be delivering while a close
    // clears them: the context is set before the handler and cleared after it.
    std::atomic<TMIDIInputHandler> handler{nullptr};
    std::atomic<void*> context{nullptr};

    // The JACK server ran no cycles while the last message should have left: it has
    // stalled, and that message still waits in RtMidi's ring buffer. RtMidi's JACK back
    // end waits without end for room there, so nothing more is handed to it until the
    // server has moved on.
    bool outStalled = false;
    unsigned long stalledAt = 0;

    // RtMidi hands a System Exclusive message over only once its F7 is in, however
    // many pieces it came in. A port of the watch client, connected to the same JACK
    // source as the input port, counts the bytes as they arrive, so that a long
    // message can be followed while it comes.
    std::atomic<jack_port_t*> tap{nullptr};
    std::atomic<unsigned long> tapBytes{0};
    std::atomic<unsigned long> deliveredBytes{0};
    bool tapping = false;       // the tap is connected to the open input's source

    static int onJackCycle(jack_nframes_t frames, void* arg)
    {
        auto* self = static_cast<Impl*>(arg);
        if (jack_port_t* port = self->tap.load(std::memory_order_acquire)) {
            void* buffer = jack_port_get_buffer(port, frames);
            const uint32_t count = jack_midi_get_event_count(buffer);
            unsigned long bytes = 0;
            for (uint32_t i = 0; i < count; ++i) {
                jack_midi_event_t event;
                if (jack_midi_event_get(&event, buffer, i) == 0)
                    bytes += event.size;
            }
            if (bytes > 0)
                self->tapBytes.fetch_add(bytes, std::memory_order_release);
        }
        self->jackCycles.fetch_add(1, std::memory_order_release);
        return 0;
    }

    // Connects the tap to source; without it, only whole messages are counted.
    void startTap(const std::string& source)
    {
        if (watch == nullptr)
            return;
        jack_port_t* port = tap.load(std::memory_order_acquire);
        if (port == nullptr) {
            port = jack_port_register(watch, "tap", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
            if (port == nullptr)
                return;
            tap.store(port, std::memory_order_release);
        }
        tapping = jack_connect(watch, source.c_str(), jack_port_name(port)) == 0;
    }
    void stopTap()
    {
        jack_port_t* port = tap.load(std::memory_order_acquire);
        if (tapping && port != nullptr && watch != nullptr && !jackGone.load(std::memory_order_acquire))
            jack_port_disconnect(watch, port);
        tapping = false;
    }

    // Waits until the server has run this many more process cycles: by then a new
    // connection is part of the graph, and RtMidi's back end has moved a message from
    // its ring buffer to the port. Bounded, should the server stall or go away.
    void waitJackCycles(unsigned long cycles)
    {
        waitJackCycles(cycles, jackCycles.load(std::memory_order_acquire));
    }
    void waitJackCycles(unsigned long cycles, unsigned long start)
    {
        const auto giveUp = Clock::now() + std::chrono::seconds(1);
        while (jackCycles.load(std::memory_order_acquire) - start < cycles && Clock::now() < giveUp &&
               !jackGone.load(std::memory_order_acquire))
            std::this_thread::sleep_for(std::chrono::microseconds(500));
    }

    // JACK client names of ours that no other program shares, so that our ports'
    // full names are known.
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
                           !jackGone.load(std::memory_order_acquire))
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    return {};
                }
            }
            if (Clock::now() >= giveUp || jackGone.load(std::memory_order_acquire))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return "JACK could not connect \"" + source + "\" to \"" + destination +
               "\"; the port may have gone away.";
    }

    static void onJackShutdown(void* arg)
    {
        static_cast<Impl*>(arg)->jackGone.store(true, std::memory_order_release);
    }

    static void onInput(double, std::vector<unsigned char>* message, void* arg)
    {
        auto* self = static_cast<Impl*>(arg);
        if (message != nullptr && !message->empty()) {
            self->deliveredBytes.fetch_add(message->size(), std::memory_order_release);
            const TMIDIInputHandler handler = self->handler.load(std::memory_order_acquire);
            if (handler != nullptr)
                handler(message->data(), message->size(), self->context.load(std::memory_order_acquire));
        }
    }

    // True when a JACK server answers; never starts one.
    bool jackRunning()
    {
        if (watch != nullptr && !jackGone.load(std::memory_order_acquire))
            return true;
        if (watch != nullptr) {
            tap.store(nullptr, std::memory_order_release);
            tapping = false;
            // Ports on the server that went away stay dead even if a new one starts.
            if (in && inSystem == System::jack)
                (void)in.release();
            if (out && outSystem == System::jack)
                (void)out.release();
        }
        dropWatch();
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
        jackGone.store(false);
        jack_on_shutdown(watch, onJackShutdown, this);
        jack_set_process_callback(watch, onJackCycle, this);
        if (jack_activate(watch) != 0) {
            jack_client_close(watch);
            watch = nullptr;
            return false;
        }
        return true;
    }

    void dropWatch()
    {
        tap.store(nullptr, std::memory_order_release);
        tapping = false;
        if (watch == nullptr)
            return;
        // A client whose server died is left as it is: closing it would talk to a
        // server that is no longer there.
        if (!jackGone.load(std::memory_order_acquire))
            jack_client_close(watch);
        watch = nullptr;
    }

    bool usable(System system) const
    {
        return system != System::jack || !jackGone.load(std::memory_order_acquire);
    }

    template <class Port>
    void dropPort(std::unique_ptr<Port>& port, System system)
    {
        if (!port)
            return;
        if (usable(system)) {
            port.reset();
        } else {
            // Its JACK client lost the server; tearing it down could wait on a dead
            // peer, so it is let go without a goodbye.
            (void)port.release();
        }
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
    }
}

int TPlatformMIDI::inputCount() const { return static_cast<int>(impl->ins.size()); }
int TPlatformMIDI::outputCount() const { return static_cast<int>(impl->outs.size()); }

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
    if (n < 0 || n >= inputCount())
        return "There is no MIDI input device number " + std::to_string(n) + ": " +
               countText(inputCount(), "input") + ".";
    const Device device = impl->ins[static_cast<size_t>(n)];
    const bool jack = device.system == System::jack;
    if (jack && !impl->jackRunning())
        return "The JACK server is not running, so \"" + device.name + "\" cannot be opened.";
    try {
        const std::string client = jack ? impl->uniqueClientName() : std::string(clientName);
        auto port = std::make_unique<RtMidiIn>(apiOf(device.system), client, 100);
        impl->inErrors.text.clear();
        port->setErrorCallback(collectError, &impl->inErrors);
        impl->context.store(context, std::memory_order_release);
        impl->handler.store(handler, std::memory_order_release);
        port->setCallback(&Impl::onInput, impl.get());
        port->ignoreTypes(false, true, true);     // System Exclusive messages wanted
        if (jack) {
            // JACK: a port of our own, connected by name, so that ports coming and
            // going meanwhile cannot make us listen to the wrong one.
            port->openVirtualPort("in");
            if (impl->inErrors.text.empty()) {
                const std::string error = impl->connectJack(device.name, client + ":in");
                if (!error.empty())
                    return error;
                impl->startTap(device.name);
            }
        } else {
            const int index = currentIndex(*port, device.name);
            if (index < 0)
                return "The MIDI input device \"" + device.name + "\" is no longer there.";
            port->openPort(static_cast<unsigned>(index), "in");
            if (impl->inErrors.text.empty() && !port->isPortOpen())
                impl->inErrors.text = "The MIDI input device \"" + device.name + "\" cannot be opened.";
        }
        if (!impl->inErrors.text.empty())
            return readable(impl->inErrors.text);
        // Later warnings come from the service's own thread: nobody listens to them.
        port->setErrorCallback(ignoreError, nullptr);
        impl->in = std::move(port);
        impl->inSystem = device.system;
        if (jack)
            impl->waitJackCycles(3);    // until the connection carries messages
        return {};
    } catch (const RtMidiError& e) {
        return readable(e.getMessage());
    } catch (const std::exception& e) {
        return std::string(systemName(device.system)) + ": " + e.what();
    }
}

std::string TPlatformMIDI::openOutput(int n)
{
    closeOutput();
    if (n < 0 || n >= outputCount())
        return "There is no MIDI output device number " + std::to_string(n) + ": " +
               countText(outputCount(), "output") + ".";
    const Device device = impl->outs[static_cast<size_t>(n)];
    const bool jack = device.system == System::jack;
    if (jack && !impl->jackRunning())
        return "The JACK server is not running, so \"" + device.name + "\" cannot be opened.";
    try {
        const std::string client = jack ? impl->uniqueClientName() : std::string(clientName);
        auto port = std::make_unique<RtMidiOut>(apiOf(device.system), client);
        impl->outErrors.text.clear();
        port->setErrorCallback(collectError, &impl->outErrors);
        if (jack) {
            port->openVirtualPort("out");
            if (impl->outErrors.text.empty()) {
                const std::string error = impl->connectJack(client + ":out", device.name);
                if (!error.empty())
                    return error;
            }
        } else {
            const int index = currentIndex(*port, device.name);
            if (index < 0)
                return "The MIDI output device \"" + device.name + "\" is no longer there.";
            port->openPort(static_cast<unsigned>(index), "out");
            if (impl->outErrors.text.empty() && !port->isPortOpen())
                impl->outErrors.text = "The MIDI output device \"" + device.name + "\" cannot be opened.";
        }
        if (!impl->outErrors.text.empty())
            return readable(impl->outErrors.text);
        impl->out = std::move(port);
        impl->outSystem = device.system;
        impl->outStalled = false;
        if (jack)
            impl->waitJackCycles(3);    // until the connection carries messages
        return {};
    } catch (const RtMidiError& e) {
        return readable(e.getMessage());
    } catch (const std::exception& e) {
        return std::string(systemName(device.system)) + ": " + e.what();
    }
}

void TPlatformMIDI::closeInput()
{
    impl->stopTap();
    if (impl->in) {
        try {
            if (impl->usable(impl->inSystem))
                impl->in->closePort();
        } catch (const RtMidiError&) {
        }
        impl->dropPort(impl->in, impl->inSystem);
    }
    impl->handler.store(nullptr, std::memory_order_release);
    impl->context.store(nullptr, std::memory_order_release);
}

void TPlatformMIDI::closeOutput()
{
    if (!impl->out)
        return;
    try {
        if (impl->usable(impl->outSystem))
            impl->out->closePort();
    } catch (const RtMidiError&) {
    }
    impl->dropPort(impl->out, impl->outSystem);
}

unsigned long TPlatformMIDI::inputBytes() const
{
    return impl->tapping ? impl->tapBytes.load(std::memory_order_acquire)
                         : impl->deliveredBytes.load(std::memory_order_acquire);
}

bool TPlatformMIDI::inputOpen() const { return impl->in != nullptr && impl->usable(impl->inSystem); }
bool TPlatformMIDI::outputOpen() const { return impl->out != nullptr && impl->usable(impl->outSystem); }

bool TPlatformMIDI::send(const uint8_t* message, size_t size)
{
    if (message == nullptr || size == 0 || !outputOpen())
        return false;
    if (impl->outSystem == System::jack && impl->outStalled) {
        if (impl->jackCycles.load(std::memory_order_acquire) - impl->stalledAt < 2)
            return false;
        impl->outStalled = false;
    }
    // The ALSA sequencer refuses an event while its queue is full; the message is
    // then offered again until the queue takes it.
    const auto giveUp = Clock::now() + std::chrono::seconds(2);
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
    const auto taken = Clock::now();
    const unsigned long cycleAtSend = impl->jackCycles.load(std::memory_order_acquire);
    std::this_thread::sleep_until(taken + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(midiWireSeconds(size))));
    // JACK's back end hands the message to the port in its next process cycle; two
    // cycles on it has surely left RtMidi's ring buffer (after a dump's wire time this
    // has long happened).
    if (impl->outSystem == System::jack) {
        impl->waitJackCycles(2, cycleAtSend);
        if (impl->jackCycles.load(std::memory_order_acquire) - cycleAtSend < 2) {
            impl->outStalled = true;
            impl->stalledAt = cycleAtSend;
        }
    }
    return impl->usable(impl->outSystem);
}
