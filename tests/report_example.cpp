// Writes the report page of a made-up run, 2 outputs by 3 inputs, for the
// browser test: report_example DIR writes DIR/report.html and
// DIR/results.json. Output 2 does not reach input 3 above its noise. Its
// responses are gated and smoothed, against a reference input and
// calibration files.
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <string>

#include "report/report_page.h"

namespace {

const double kPi = 3.141592653589793;

// A band-pass of two poles at 30 Hz and 15 kHz, for curves that look real.
std::complex<double> device(double hz) {
    const std::complex<double> s(0.0, hz);
    return (s / (s + 30.0)) * (15000.0 / (s + 15000.0));
}

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

std::string pairJson(int output, int input, double gainDb) {
    const bool direct = output == input;
    if (output == 2 && input == 3)
        return "{\"output\":2,\"input\":3,\"belowNoise\":true}";
    std::string response, gated, smoothed, hd2, hd3, thd;
    for (double hz = 20.0; hz <= 20000.0; hz *= std::pow(2.0, 1.0 / 48.0)) {
        const std::complex<double> h = device(hz) * std::pow(10.0, gainDb / 20.0);
        const std::string point = "{\"hz\":" + number(hz) +
                                  ",\"db\":" + number(20.0 * std::log10(std::abs(h))) +
                                  ",\"deg\":" + number(std::arg(h) * 180.0 / kPi);
        // A reflection's ripple, which the gate leaves out and smoothing evens.
        const double ripple = 2.0 * std::sin(hz / 150.0);
        response += std::string(response.empty() ? "" : ",") + point + "}";
        gated += std::string(gated.empty() ? "" : ",") + point +
                 (hz < 250.0 ? ",\"belowGate\":true}" : "}");
        smoothed += std::string(smoothed.empty() ? "" : ",") + "{\"hz\":" + number(hz) +
                    ",\"db\":" + number(20.0 * std::log10(std::abs(h)) + ripple / 4.0) +
                    ",\"deg\":0}";
        if (hz * 3.0 > 20000.0)
            continue;
        const double d2 = -45.0 + 10.0 * std::log10(1.0 + hz / 2000.0);
        const double d3 = -60.0 + 3.0 * std::sin(std::log(hz));
        const double total = 100.0 * std::hypot(std::pow(10.0, d2 / 20), std::pow(10.0, d3 / 20));
        hd2 += std::string(hd2.empty() ? "" : ",") + "{\"hz\":" + number(hz) +
               ",\"db\":" + number(d2) + "}";
        hd3 += std::string(hd3.empty() ? "" : ",") + "{\"hz\":" + number(hz) +
               ",\"db\":" + number(d3) + "}";
        thd += std::string(thd.empty() ? "" : ",") + "{\"hz\":" + number(hz) +
               ",\"percent\":" + number(total) + "}";
    }
    const std::string name = "ir-o" + std::to_string(output) + "-i" + std::to_string(input);
    return "{\"output\":" + std::to_string(output) + ",\"input\":" + std::to_string(input) +
           ",\"belowNoise\":false,\"delayFrames\":" + (direct ? "256" : "257") +
           ",\"reportedLatencyFrames\":256,\"latencyVerdict\":\"" +
           (direct ? "as reported" : "1 frame more than reported") +
           "\",\"snrDb\":" + number(direct ? 92.5 : 42.5) +
           ",\"noiseFloorDb\":-98.2,\"impulseResponse\":\"" + name + ".wav\",\"response\":[" +
           response + "],\"gatedResponse\":[" + gated + "],\"smoothedResponse\":[" + smoothed +
           "],\"harmonics\":[{\"order\":2,\"points\":[" + hd2 + "]},{\"order\":3,\"points\":[" +
           hd3 + "]}],\"thd\":[" + thd + "]}";
}

std::string resultsJson() {
    std::string pairs, crosstalk;
    for (int output = 1; output <= 2; ++output)
        for (int input = 1; input <= 3; ++input) {
            const double db = output == input ? 0.0 : -50.0 - 10.0 * input;
            pairs += std::string(pairs.empty() ? "" : ",") + pairJson(output, input, db);
            const bool bound = output == 2 && input == 3;
            crosstalk += std::string(crosstalk.empty() ? "" : ",") +
                         "{\"output\":" + std::to_string(output) +
                         ",\"input\":" + std::to_string(input) +
                         ",\"db\":" + number(bound ? -96.0 : db) +
                         ",\"db1k\":" + number(bound ? -96.0 : db + 0.1) +
                         (bound ? ",\"belowNoise\":true}" : "}");
        }
    return "{\"complete\":true,\"device\":\"Studio <Interface> & Co\",\"driver\":{\"name\":"
           "\"Studio Interface ASIO\",\"version\":3},\"buffer\":256,\"rate\":48000,"
           "\"latencies\":{\"input\":256,\"output\":0},\"sweep\":{\"from\":20,\"to\":20000,"
           "\"sweptFrom\":10,\"sweptTo\":22800,\"seconds\":5.2,\"level\":-12},"
           "\"reference\":3,\"calibration\":[{\"input\":1,\"file\":\"mic <7>.txt\"},"
           "{\"input\":2,\"file\":\"mic 8.txt\"}],\"gateMs\":4,\"smoothing\":3,"
           "\"lostBlocks\":5,\"clippedSamples\":45733,\"takes\":[{\"output\":1,\"repeat\":2,"
           "\"attempts\":3,\"lostBlocks\":[3,2,0]}],\"repeats\":4,\"averagingGainDb\":5.98,"
           "\"excludedRepeats\":[{\"output\":1,\"repeat\":"
           "3,\"delayFrames\":296}],\"date\":\"2026-12-09T12:00:00Z\",\"programVersion\":"
           "\"1.0.0\",\"pairs\":[" +
           pairs + "],\"crosstalk\":[" + crosstalk + "]}";
}

// A decaying response 256 frames in, with noise 98 dB below its peak.
bool impulse(const std::string&, report::ImpulseResponse* response) {
    response->rate = 48000.0;
    response->samples.assign(16384, 0.0f);
    uint32_t seed = 1;
    for (size_t t = 0; t < response->samples.size(); ++t) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(seed) / 4294967296.0 - 0.5) * 2.5e-5;
        const double ring =
            t >= 256 ? std::exp(-(t - 256.0) / 300.0) * std::cos(0.05 * (t - 256.0)) : 0.0;
        response->samples[t] = static_cast<float>(ring + noise);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: report_example DIR\n");
        return 1;
    }
    const std::string dir = argv[1];
    const std::string json = resultsJson();
    std::string html, error;
    if (!report::renderReport(json, impulse, &html, &error)) {
        std::fprintf(stderr, "report_example: %s\n", error.c_str());
        return 1;
    }
    std::ofstream(dir + "/results.json", std::ios::binary) << json;
    std::ofstream page(dir + "/report.html", std::ios::binary);
    page << html;
    return page ? 0 : 1;
}
