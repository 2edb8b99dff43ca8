#pragma once

// Helpers for reading a recorded call stream.

#include "gl_recorder.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

inline std::uint32_t bitsOf(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The float a call received as its k-th argument.
inline float floatArg(const GlCall &call, std::size_t k)
{
    return static_cast<float>(call.args.at(k));
}

// The calls that `draw` makes, recorded from a clean recorder.
inline std::vector<GlCall> callsOf(const std::function<void()> &draw)
{
    resetGlRecorder();
    draw();
    return glCalls();
}

inline std::vector<std::string> namesOf(const std::vector<GlCall> &calls)
{
    std::vector<std::string> names;
    names.reserve(calls.size());
    for (const GlCall &call : calls)
        names.push_back(call.name);
    return names;
}

// Same name and the same bits in every argument, -0.0 and +0.0 told apart.
inline bool sameCall(const GlCall &a, const GlCall &b)
{
    if (a.name != b.name || a.text != b.text || a.callback != b.callback ||
        a.args.size() != b.args.size())
        return false;
    return a.args.empty() ||
           std::memcmp(a.args.data(), b.args.data(), a.args.size() * sizeof(double)) == 0;
}

inline bool sameStream(const std::vector<GlCall> &a, const std::vector<GlCall> &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!sameCall(a[i], b[i]))
            return false;
    return true;
}

// A fingerprint of a stream: every name and every argument bit.
inline std::uint64_t fingerprint(const std::vector<GlCall> &calls)
{
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](const void *data, std::size_t size) {
        const auto *bytes = static_cast<const unsigned char *>(data);
        for (std::size_t i = 0; i < size; ++i)
            hash = (hash ^ bytes[i]) * 1099511628211ull;
    };
    for (const GlCall &call : calls) {
        mix(call.name.data(), call.name.size());
        mix(call.args.data(), call.args.size() * sizeof(double));
    }
    return hash;
}
