#pragma once

#include "view_state.h"

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <cstring>

// One surface's normals and vertices, worked out before any timing so that drawing it from
// here costs only the GL calls. Every strip sends the same 501 columns; only z differs.
struct FloorSurface {
    struct Column {
        float nx, ny, x, y;
    };
    struct Strip {
        float z0, z1;
    };
    std::array<Column, 501> columns;
    std::array<Strip, 100> strips;
};

FloorSurface makeFloorSurface(bool displaced);

// The surface's calls, from the table.
void drawFloorSurface(const FloorSurface &surface);

// A whole frame with the same calls and arguments as display() for this view, the surface
// coming from the table.
void drawFloorFrame(const FloorSurface &surface, const ViewState &view);

// FNV-1a over the surface's calls in the order they are sent. The check folds the program's
// captured calls through this; the benchmark folds its own table, and the two must agree.
class StreamDigest {
  public:
    void begin(GLenum mode) { word(1), word(mode); }
    void end() { word(2); }
    void normal(float x, float y, float z) { word(3), bits(x), bits(y), bits(z); }
    void vertex(float x, float y, float z) { word(4), bits(x), bits(y), bits(z); }
    std::uint64_t value() const { return hash_; }

  private:
    void bits(float f)
    {
        std::uint32_t w;
        std::memcpy(&w, &f, sizeof w);
        word(w);
    }
    void word(std::uint32_t w)
    {
        for (int i = 0; i < 4; ++i) {
            hash_ ^= (w >> (8 * i)) & 0xffu;
            hash_ *= 0x100000001b3u;
        }
    }
    std::uint64_t hash_ = 0xcbf29ce484222325u;
};

std::uint64_t floorDigest(const FloorSurface &surface);
