#include "gl_recorder.h"
#include "stream.h"
#include "surface.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int columnCount = 501;
constexpr int callsPerStrip =
    2 + 3 * columnCount; // glBegin, glEnd, and a normal and two vertices per column

struct Column {
    float x, y, nx, ny;
};

// One column worked out step by step in double, with every rounding to single
// written out where the surface rounds.
Column expectedColumn(int i, bool displaced)
{
    const double u = static_cast<double>(i) / 500.0 * 10.0;
    const double theta = u * 2.0 * 2.0 * 3.14159;
    const double amplitude = 0.10000000149011612; // 0.1 in single precision
    const double slope = 0.20000000298023224;     // 0.2 in single precision
    const float s = static_cast<float>(std::sin(theta) * slope * 2.0 * 3.14159);
    const float square = s * s; // a product of singles is a single
    const float sum = static_cast<float>(static_cast<double>(square) + 1.0);
    const float len = static_cast<float>(std::sqrt(static_cast<double>(sum)));
    return {static_cast<float>(u - 5.0),
            displaced ? static_cast<float>(std::cos(theta) * amplitude) : 0.0f,
            static_cast<float>(static_cast<double>(s) / len), static_cast<float>(1.0 / len)};
}

// The columns of one recorded strip.
std::vector<Column> columnsOf(const std::vector<GlCall> &strip)
{
    std::vector<Column> columns;
    for (std::size_t k = 1; k + 2 < strip.size(); k += 3)
        columns.push_back({floatArg(strip[k + 1], 0), floatArg(strip[k + 1], 1),
                           floatArg(strip[k], 0), floatArg(strip[k], 1)});
    return columns;
}

void expectQuadStrip(const std::vector<GlCall> &strip, float z0, float z1)
{
    ASSERT_EQ(strip.size(), static_cast<std::size_t>(callsPerStrip));
    EXPECT_EQ(strip.front().name, "glBegin");
    EXPECT_EQ(strip.front().args, std::vector<double>{GL_QUAD_STRIP});
    EXPECT_EQ(strip.back().name, "glEnd");
    for (int i = 0; i < columnCount; ++i) {
        const GlCall &normal = strip[1 + 3 * i];
        const GlCall &first = strip[2 + 3 * i];
        const GlCall &second = strip[3 + 3 * i];
        ASSERT_EQ(normal.name, "glNormal3f") << "column " << i;
        ASSERT_EQ(first.name, "glVertex3f") << "column " << i;
        ASSERT_EQ(second.name, "glVertex3f") << "column " << i;
        EXPECT_EQ(bitsOf(floatArg(normal, 2)), bitsOf(0.0f)) << "column " << i;
        // One normal serves both vertices of a column; the z0 vertex comes first.
        EXPECT_EQ(bitsOf(floatArg(first, 0)), bitsOf(floatArg(second, 0))) << "column " << i;
        EXPECT_EQ(bitsOf(floatArg(first, 1)), bitsOf(floatArg(second, 1))) << "column " << i;
        EXPECT_EQ(bitsOf(floatArg(first, 2)), bitsOf(z0)) << "column " << i;
        EXPECT_EQ(bitsOf(floatArg(second, 2)), bitsOf(z1)) << "column " << i;
    }
}

void expectColumnBits(const Column &actual, const Column &expected, int i)
{
    EXPECT_EQ(bitsOf(actual.x), bitsOf(expected.x)) << "x of column " << i;
    EXPECT_EQ(bitsOf(actual.y), bitsOf(expected.y)) << "y of column " << i;
    EXPECT_EQ(bitsOf(actual.nx), bitsOf(expected.nx)) << "normal x of column " << i;
    EXPECT_EQ(bitsOf(actual.ny), bitsOf(expected.ny)) << "normal y of column " << i;
}

TEST(StripTest, IsOneQuadStripOf501ColumnsWithTheZ0VertexFirst)
{
    expectQuadStrip(callsOf([] { drawBumpedStrip(-1.25f, 3.5f); }), -1.25f, 3.5f);
    expectQuadStrip(callsOf([] { drawDisplacedStrip(-1.25f, 3.5f); }), -1.25f, 3.5f);
}

TEST(StripTest, EveryColumnHasTheExactBitsOfItsArithmetic)
{
    const auto displaced = columnsOf(callsOf([] { drawDisplacedStrip(0.0f, 0.1f); }));
    const auto bumped = columnsOf(callsOf([] { drawBumpedStrip(0.0f, 0.1f); }));
    ASSERT_EQ(displaced.size(), static_cast<std::size_t>(columnCount));
    ASSERT_EQ(bumped.size(), static_cast<std::size_t>(columnCount));
    for (int i = 0; i < columnCount; ++i) {
        expectColumnBits(displaced[i], expectedColumn(i, true), i);
        expectColumnBits(bumped[i], expectedColumn(i, false), i);
    }
}

TEST(StripTest, BumpedStripIsFlatAndCarriesTheDisplacedNormals)
{
    const auto displaced = columnsOf(callsOf([] { drawDisplacedStrip(-5.0f, -4.9f); }));
    const auto bumped = columnsOf(callsOf([] { drawBumpedStrip(-5.0f, -4.9f); }));
    ASSERT_EQ(bumped.size(), displaced.size());
    for (std::size_t i = 0; i < bumped.size(); ++i) {
        EXPECT_EQ(bitsOf(bumped[i].y), bitsOf(0.0f)) << "column " << i;
        EXPECT_EQ(bitsOf(bumped[i].x), bitsOf(displaced[i].x)) << "column " << i;
        EXPECT_EQ(bitsOf(bumped[i].nx), bitsOf(displaced[i].nx)) << "column " << i;
        EXPECT_EQ(bitsOf(bumped[i].ny), bitsOf(displaced[i].ny)) << "column " << i;
    }
}

TEST(StripTest, EdgeColumnsShowTheWaveAndItsShortPi)
{
    const auto columns = columnsOf(callsOf([] { drawDisplacedStrip(0.0f, 0.1f); }));
    ASSERT_EQ(columns.size(), static_cast<std::size_t>(columnCount));

    // Column 0: the crest, flat.
    EXPECT_EQ(bitsOf(columns[0].x), bitsOf(-5.0f));
    EXPECT_EQ(bitsOf(columns[0].y), bitsOf(0.1f));
    EXPECT_EQ(bitsOf(columns[0].nx), bitsOf(0.0f));
    EXPECT_EQ(bitsOf(columns[0].ny), bitsOf(1.0f));

    // Column 1: u = 0.02, on the way down.
    EXPECT_EQ(bitsOf(columns[1].x), bitsOf(-4.98f));
    EXPECT_NEAR(columns[1].y, 0.097, 0.0005);
    EXPECT_NEAR(columns[1].nx, 0.298, 0.0005);
    EXPECT_NEAR(columns[1].ny, 0.954, 0.0005);

    // Column 250 (x = 0) and column 500: crests again, but pi is 3.14159, so
    // the slope does not quite return to zero.
    EXPECT_EQ(bitsOf(columns[250].x), bitsOf(0.0f));
    EXPECT_NEAR(columns[250].nx, -6.7e-5, 0.1e-5);
    EXPECT_EQ(bitsOf(columns[500].x), bitsOf(5.0f));
    EXPECT_EQ(bitsOf(columns[500].y), bitsOf(0.1f));
    EXPECT_NEAR(columns[500].nx, -1.33e-4, 0.01e-4);
    EXPECT_EQ(bitsOf(columns[500].ny), bitsOf(1.0f));

    // Every normal has unit length; the steepest lean about 51.5 degrees.
    double steepest = 0.0;
    for (const Column &column : columns) {
        EXPECT_NEAR(std::hypot(column.nx, column.ny), 1.0, 1e-6);
        steepest = std::max(steepest, std::atan2(std::fabs(double(column.nx)), double(column.ny)));
    }
    EXPECT_NEAR(steepest * 180.0 / 3.141592653589793, 51.5, 0.1);
}

std::vector<std::vector<GlCall>> stripsOf(const std::vector<GlCall> &surface)
{
    std::vector<std::vector<GlCall>> strips;
    for (std::size_t k = 0; k < surface.size(); k += callsPerStrip)
        strips.emplace_back(surface.begin() + static_cast<long>(k),
                            surface.begin() +
                                static_cast<long>(std::min(k + callsPerStrip, surface.size())));
    return strips;
}

float z0Of(const std::vector<GlCall> &strip) { return floatArg(strip.at(2), 2); }
float z1Of(const std::vector<GlCall> &strip) { return floatArg(strip.at(3), 2); }

void expectSurfaceOfStrips(const std::vector<GlCall> &surface, void (*drawStrip)(float, float))
{
    ASSERT_EQ(surface.size(), static_cast<std::size_t>(100 * callsPerStrip));
    const auto strips = stripsOf(surface);
    for (int i = 0; i < 100; ++i) {
        const std::vector<GlCall> &strip = strips[i];
        const float z0 = z0Of(strip);
        const float z1 = z1Of(strip);
        EXPECT_EQ(bitsOf(z0), bitsOf(static_cast<float>(i * 0.1 - 5.0))) << "strip " << i;
        EXPECT_EQ(bitsOf(z1), bitsOf(static_cast<float>((i + 1) * 0.1 - 5.0))) << "strip " << i;
        EXPECT_TRUE(sameStream(strip, callsOf([&] { drawStrip(z0, z1); }))) << "strip " << i;
        if (i > 0) {
            EXPECT_EQ(bitsOf(z0), bitsOf(z1Of(strips[i - 1])))
                << "strips " << i - 1 << " and " << i;
        }
    }
    EXPECT_EQ(bitsOf(z0Of(strips.front())), bitsOf(-5.0f));
    EXPECT_EQ(bitsOf(z1Of(strips.front())), bitsOf(-4.9f));
    EXPECT_EQ(bitsOf(z0Of(strips[50])), bitsOf(0.0f));
    EXPECT_EQ(bitsOf(z1Of(strips[50])), bitsOf(0.1f));
    EXPECT_EQ(bitsOf(z0Of(strips.back())), bitsOf(4.9f));
    EXPECT_EQ(bitsOf(z1Of(strips.back())), bitsOf(5.0f));
}

TEST(SurfaceTest, DisplacedSurfaceIs100StripsSharingTheirEdges)
{
    expectSurfaceOfStrips(callsOf(drawDisplacedSurface), drawDisplacedStrip);
}

TEST(SurfaceTest, BumpedSurfaceIs100StripsSharingTheirEdges)
{
    expectSurfaceOfStrips(callsOf(drawBumpedSurface), drawBumpedStrip);
}

// The fingerprints pin every bit the surfaces send, so a compiler, flag or
// C library that changes a single rounding anywhere fails here.
TEST(SurfaceTest, StreamsHaveTheirKnownFingerprints)
{
    EXPECT_EQ(fingerprint(callsOf(drawBumpedSurface)), 15497307456996450421u);
    EXPECT_EQ(fingerprint(callsOf(drawDisplacedSurface)), 1899986776727450149u);
}

} // namespace
