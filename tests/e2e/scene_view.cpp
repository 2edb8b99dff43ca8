#include "scene_view.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace e2e {

namespace {

constexpr double pi = 3.14159265358979323846;

struct Vec3 {
    double x, y, z;
};

double radians(double degrees) { return degrees * pi / 180.0; }

// The same right-handed turns as glRotatef about each axis.
Vec3 rotateX(Vec3 v, double degrees)
{
    const double c = std::cos(radians(degrees));
    const double s = std::sin(radians(degrees));
    return {v.x, c * v.y - s * v.z, s * v.y + c * v.z};
}

Vec3 rotateY(Vec3 v, double degrees)
{
    const double c = std::cos(radians(degrees));
    const double s = std::sin(radians(degrees));
    return {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
}

Vec3 rotateZ(Vec3 v, double degrees)
{
    const double c = std::cos(radians(degrees));
    const double s = std::sin(radians(degrees));
    return {c * v.x - s * v.y, s * v.x + c * v.y, v.z};
}

bool isWhite(std::uint32_t pixel) { return pixel == 0xffffff; }

int brightness(std::uint32_t pixel)
{
    const int r = static_cast<int>(pixel >> 16 & 0xff);
    const int g = static_cast<int>(pixel >> 8 & 0xff);
    const int b = static_cast<int>(pixel & 0xff);
    return std::max({r, g, b});
}

} // namespace

double distance(PixelPoint a, PixelPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

PixelPoint projectMarker(const ViewAngles &angles, int width, int height)
{
    // The marker's centre, through the model-view matrix from the inside out.
    Vec3 p{2.0, 0.5, 0.0};
    p = rotateY(p, angles.lightAngle);
    p = rotateZ(p, angles.rotZ);
    p = rotateY(p, angles.rotY);
    p = rotateX(p, angles.rotX);
    p.z -= 180.0;

    // A 1-degree field of view over the window's height.
    const double f = 1.0 / std::tan(radians(0.5));
    const double aspect = static_cast<double>(width) / static_cast<double>(std::max(height, 1));
    const double ndcX = f / aspect * p.x / -p.z;
    const double ndcY = f * p.y / -p.z;

    const double windowX = (ndcX + 1.0) * width / 2.0;
    const double windowY = (ndcY + 1.0) * height / 2.0;
    // Window y grows upwards from the bottom edge, image rows downwards.
    return {windowX - 0.5, height - windowY - 0.5};
}

AngleFit fitLightAngle(PixelPoint spot, ViewAngles angles, int width, int height)
{
    AngleFit best{0, -1.0};
    for (int degrees = 0; degrees < 360; ++degrees) {
        angles.lightAngle = degrees;
        const double d = distance(spot, projectMarker(angles, width, height));
        if (best.distance < 0.0 || d < best.distance)
            best = {degrees, d};
    }
    return best;
}

std::vector<PixelPoint> whiteSpots(const Image &image)
{
    // The marker is about 2 pixels in radius.
    constexpr int minPixels = 4;
    constexpr int maxPixels = 40;
    constexpr int maxExtent = 8;

    std::vector<PixelPoint> spots;
    std::vector<char> seen(image.pixels.size(), 0);
    std::vector<std::pair<int, int>> stack;
    for (int y0 = 0; y0 < image.height; ++y0) {
        for (int x0 = 0; x0 < image.width; ++x0) {
            const auto index0 = static_cast<std::size_t>(y0 * image.width + x0);
            if (seen[index0] || !isWhite(image.pixels[index0]))
                continue;
            seen[index0] = 1;
            stack.assign(1, {x0, y0});
            int count = 0;
            double sumX = 0.0;
            double sumY = 0.0;
            int minX = x0, maxX = x0, minY = y0, maxY = y0;
            while (!stack.empty()) {
                const auto [x, y] = stack.back();
                stack.pop_back();
                ++count;
                sumX += x;
                sumY += y;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = x + dx;
                        const int ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= image.width || ny >= image.height)
                            continue;
                        const auto index = static_cast<std::size_t>(ny * image.width + nx);
                        if (!seen[index] && isWhite(image.pixels[index])) {
                            seen[index] = 1;
                            stack.emplace_back(nx, ny);
                        }
                    }
                }
            }
            if (count >= minPixels && count <= maxPixels && maxX - minX < maxExtent &&
                maxY - minY < maxExtent)
                spots.push_back({sumX / count, sumY / count});
        }
    }
    return spots;
}

std::optional<PixelPoint> findMarker(const Image &image, PixelPoint expected)
{
    std::optional<PixelPoint> best;
    for (const PixelPoint &spot : whiteSpots(image)) {
        if (!best || distance(spot, expected) < distance(*best, expected))
            best = spot;
    }
    return best;
}

int bandCrossings(const Image &image, int row)
{
    int darkest = 255;
    int brightest = 0;
    for (int x = 0; x < image.width; ++x) {
        darkest = std::min(darkest, brightness(image.at(x, row)));
        brightest = std::max(brightest, brightness(image.at(x, row)));
    }
    // A margin around the middle so that noise near it does not count.
    const int middle = (darkest + brightest) / 2;
    const int margin = (brightest - darkest) / 10;
    int crossings = 0;
    int side = 0;
    for (int x = 0; x < image.width; ++x) {
        const int value = brightness(image.at(x, row));
        const int now = value > middle + margin ? 1 : value < middle - margin ? -1 : side;
        if (side != 0 && now != side)
            ++crossings;
        side = now;
    }
    return crossings;
}

int blackPixels(const Image &image)
{
    return static_cast<int>(std::count(image.pixels.begin(), image.pixels.end(), 0u));
}

int differingPixels(const Image &a, const Image &b)
{
    if (a.width != b.width || a.height != b.height)
        return static_cast<int>(std::max(a.pixels.size(), b.pixels.size()));
    int count = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        count += a.pixels[i] != b.pixels[i];
    return count;
}

} // namespace e2e
