#include "probe/sample_types.h"

#include "asiohost/asio.h"

namespace {

struct SampleType {
    int32_t number;
    const char* name;
    const char* description;
};

constexpr SampleType kSampleTypes[] = {
    {ASIOSTInt16MSB, "Int16MSB", "16-bit integer, big-endian"},
    {ASIOSTInt24MSB, "Int24MSB", "24-bit integer, big-endian"},
    {ASIOSTInt32MSB, "Int32MSB", "32-bit integer, big-endian"},
    {ASIOSTFloat32MSB, "Float32MSB", "32-bit float, big-endian"},
    {ASIOSTFloat64MSB, "Float64MSB", "64-bit float, big-endian"},
    {ASIOSTInt32MSB16, "Int32MSB16", "16-bit integer in 32 bits, big-endian"},
    {ASIOSTInt32MSB18, "Int32MSB18", "18-bit integer in 32 bits, big-endian"},
    {ASIOSTInt32MSB20, "Int32MSB20", "20-bit integer in 32 bits, big-endian"},
    {ASIOSTInt32MSB24, "Int32MSB24", "24-bit integer in 32 bits, big-endian"},
    {ASIOSTInt16LSB, "Int16LSB", "16-bit integer, little-endian"},
    {ASIOSTInt24LSB, "Int24LSB", "24-bit integer, little-endian"},
    {ASIOSTInt32LSB, "Int32LSB", "32-bit integer, little-endian"},
    {ASIOSTFloat32LSB, "Float32LSB", "32-bit float"},
    {ASIOSTFloat64LSB, "Float64LSB", "64-bit float"},
    {ASIOSTInt32LSB16, "Int32LSB16", "16-bit integer in 32 bits"},
    {ASIOSTInt32LSB18, "Int32LSB18", "18-bit integer in 32 bits"},
    {ASIOSTInt32LSB20, "Int32LSB20", "20-bit integer in 32 bits"},
    {ASIOSTInt32LSB24, "Int32LSB24", "24-bit integer in 32 bits"},
    {ASIOSTDSDInt8LSB1, "DSDInt8LSB1", "1-bit DSD, 8 samples a byte, LSB first"},
    {ASIOSTDSDInt8MSB1, "DSDInt8MSB1", "1-bit DSD, 8 samples a byte, MSB first"},
    {ASIOSTDSDInt8NER8, "DSDInt8NER8", "1-bit DSD, one sample a byte"},
};

const SampleType* find(int32_t type) {
    for (const SampleType& entry : kSampleTypes)
        if (entry.number == type)
            return &entry;
    return nullptr;
}

} // namespace

const char* sampleTypeName(int32_t type) {
    const SampleType* entry = find(type);
    return entry != nullptr ? entry->name : "unknown";
}

const char* sampleTypeDescription(int32_t type) {
    const SampleType* entry = find(type);
    return entry != nullptr ? entry->description : "an unknown sample type";
}

bool tandemwavStreams(int32_t type) {
    return type == ASIOSTInt16LSB || type == ASIOSTInt24LSB || type == ASIOSTInt32LSB;
}
