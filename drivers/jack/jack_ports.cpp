// Opening the JACK client, the driver's ports and their connections: all on
// the host's thread, never in the process cycle.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "drivers/jack/jack_driver.h"

namespace {

// JACK reports its errors through one process-wide function. While a driver
// opens its client, the messages of that thread land in its buffer; all
// other messages are dropped, since nothing but the front end may print.
thread_local char* capturedError = nullptr;
thread_local size_t capturedCapacity = 0;

void onJackMessage(const char* message) {
    if (capturedError != nullptr && message != nullptr && message[0] != '\0')
        std::snprintf(capturedError, capturedCapacity, "%s", message);
}

void silenceJackMessages() {
    jack_set_error_function(onJackMessage);
    jack_set_info_function(onJackMessage);
}

// Ports that JACK lists are freed with jack_free; the list ends with null.
int32_t countPorts(jack_client_t* client, unsigned long flags) {
    const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, flags);
    int32_t count = 0;
    while (ports != nullptr && ports[count] != nullptr)
        ++count;
    jack_free(ports);
    return count;
}

// The list may have changed since it was counted, so it is walked, not indexed.
const char* portAt(const char** ports, int32_t index) {
    for (int32_t i = 0; ports != nullptr && ports[i] != nullptr; ++i)
        if (i == index)
            return ports[i];
    return nullptr;
}

// Looked up on the first physical port each way, as the server reports it.
int32_t portLatency(jack_client_t* client, unsigned long flags, jack_latency_callback_mode_t mode) {
    const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, flags);
    jack_port_t* port =
        ports != nullptr && ports[0] != nullptr ? jack_port_by_name(client, ports[0]) : nullptr;
    jack_latency_range_t range = {0, 0};
    if (port != nullptr)
        jack_port_get_latency_range(port, mode, &range);
    jack_free(ports);
    return static_cast<int32_t>(range.max);
}

// The server libjack reaches when none is named in the settings: the one
// JACK_DEFAULT_SERVER names, else "default", as libjack itself picks it.
std::string serverAskedFor(const char* configured) {
    if (configured[0] != '\0')
        return configured;
    const char* fromEnvironment = std::getenv("JACK_DEFAULT_SERVER");
    return fromEnvironment != nullptr && fromEnvironment[0] != '\0' ? fromEnvironment : "default";
}

// Our own words only: what libjack prints on the way (shared-memory and
// socket details) means nothing to the user.
std::string describeStatus(jack_status_t status, const std::string& server) {
    if (status & JackServerFailed)
        return "no JACK server \"" + server + "\" is running; start one first";
    if (status & JackVersionError)
        return "JACK server speaks another protocol version";
    if (status & JackNameNotUnique)
        return "JACK client name already in use";
    char text[48];
    std::snprintf(text, sizeof text, "JACK refused the client (status 0x%x)",
                  static_cast<unsigned>(status));
    return text;
}

} // namespace

bool JackDriver::openClient() {
    silenceJackMessages();
    char jackError[96] = {};
    capturedError = jackError;
    capturedCapacity = sizeof jackError;
    // libjack reads the server's name only when JackServerName is given.
    const bool named = settings_.serverName[0] != '\0';
    const int options = JackNoStartServer | (named ? JackServerName : 0);
    jack_status_t status = static_cast<jack_status_t>(0);
    client_ = jack_client_open(settings_.clientName, static_cast<jack_options_t>(options), &status,
                               settings_.serverName);
    capturedError = nullptr;
    if (client_ == nullptr) {
        std::snprintf(errorMessage_, sizeof errorMessage_, "JACK: %s",
                      describeStatus(status, serverAskedFor(settings_.serverName)).c_str());
        return false;
    }
    jack_set_process_callback(client_, onProcess, this);
    jack_set_xrun_callback(client_, onXrun, this);
    jack_on_info_shutdown(client_, onShutdown, this);
    sampleRate_ = jack_get_sample_rate(client_);
    countChannels();
    return true;
}

void JackDriver::countChannels() {
    // Physical capture ports are outputs of the server, playback ports its inputs.
    const int32_t physicalInputs = countPorts(client_, JackPortIsPhysical | JackPortIsOutput);
    const int32_t physicalOutputs = countPorts(client_, JackPortIsPhysical | JackPortIsInput);
    const bool fromServer = settings_.wiring == JackWiring::physical;
    auto count = [fromServer](int32_t configured, int32_t physical) {
        if (configured != kJackChannelsFromServer)
            return configured;
        return fromServer ? std::min(physical, kDriverMaxChannels) : kJackDefaultChannels;
    };
    inputs_ = count(settings_.inputs, physicalInputs);
    outputs_ = count(settings_.outputs, physicalOutputs);
}

bool JackDriver::allocateChannels(const ASIOBufferInfo* infos, int32_t count, int32_t bufferSize) {
    const size_t perChannel = 2 * static_cast<size_t>(bufferSize);
    channels_ = new (std::nothrow) Channel[count];
    samples_ = new (std::nothrow) int32_t[perChannel * static_cast<size_t>(count)]();
    if (channels_ == nullptr || samples_ == nullptr) {
        releaseChannels();
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        int32_t* first = samples_ + perChannel * static_cast<size_t>(i);
        channels_[i] = Channel{
            infos[i].isInput != 0, infos[i].channelNum, nullptr, {first, first + bufferSize}};
    }
    channelCount_ = count;
    bufferSize_ = bufferSize;
    return true;
}

bool JackDriver::registerPorts() {
    for (int32_t i = 0; i < channelCount_; ++i) {
        Channel& channel = channels_[i];
        char name[32];
        std::snprintf(name, sizeof name, "%s_%d", channel.isInput ? "in" : "out",
                      static_cast<int>(channel.number) + 1);
        channel.port = jack_port_register(client_, name, JACK_DEFAULT_AUDIO_TYPE,
                                          channel.isInput ? JackPortIsInput : JackPortIsOutput, 0);
        if (channel.port == nullptr) {
            std::snprintf(errorMessage_, sizeof errorMessage_, "JACK: cannot register port %s",
                          name);
            return false;
        }
    }
    return true;
}

void JackDriver::releaseChannels() {
    for (int32_t i = 0; i < channelCount_; ++i)
        if (channels_[i].port != nullptr)
            jack_port_unregister(client_, channels_[i].port);
    delete[] channels_;
    delete[] samples_;
    channels_ = nullptr;
    samples_ = nullptr;
    channelCount_ = 0;
    bufferSize_ = 0;
    callbacks_ = nullptr;
}

void JackDriver::askHost() {
    // Asked once here, so the cycle never has to.
    hostTakesTimeInfo_ = hostTakesTimeInfo(*callbacks_);
    hostTakesResync_ = hostSupports(*callbacks_, kAsioResyncRequest);
    hostTakesReset_ = hostSupports(*callbacks_, kAsioResetRequest);
}

void JackDriver::physicalLatencies(int32_t* input, int32_t* output) const {
    // Wired to the card, the card's latencies count; wired to itself, a block
    // comes back one cycle later.
    if (settings_.wiring != JackWiring::physical) {
        *input = 0;
        *output = static_cast<int32_t>(jack_get_buffer_size(client_));
        return;
    }
    *input = portLatency(client_, JackPortIsPhysical | JackPortIsOutput, JackCaptureLatency);
    *output = portLatency(client_, JackPortIsPhysical | JackPortIsInput, JackPlaybackLatency);
}

void JackDriver::connectPorts() {
    if (settings_.wiring == JackWiring::physical)
        connectPhysical();
    else if (settings_.wiring == JackWiring::loopback)
        connectLoopback();
}

void JackDriver::connectPhysical() {
    const char** capture = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                          JackPortIsPhysical | JackPortIsOutput);
    const char** playback = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsPhysical | JackPortIsInput);
    for (int32_t i = 0; i < channelCount_; ++i) {
        const Channel& channel = channels_[i];
        const char* own = jack_port_name(channel.port);
        const char* other = portAt(channel.isInput ? capture : playback, channel.number);
        if (other != nullptr && channel.isInput)
            jack_connect(client_, other, own);
        else if (other != nullptr)
            jack_connect(client_, own, other);
    }
    jack_free(capture);
    jack_free(playback);
}

void JackDriver::connectLoopback() {
    for (int32_t i = 0; i < channelCount_; ++i) {
        if (channels_[i].isInput)
            continue;
        for (int32_t j = 0; j < channelCount_; ++j)
            if (channels_[j].isInput && channels_[j].number == channels_[i].number)
                jack_connect(client_, jack_port_name(channels_[i].port),
                             jack_port_name(channels_[j].port));
    }
}
