#pragma once

// Where things should appear in bumpmap's window, worked out from its camera
// independently of the program, and where they do appear in a picture.

#include "x_session.h"

#include <optional>
#include <vector>

namespace e2e {

// The angles the keys change, in degrees, as they are at start.
struct ViewAngles {
    double rotX = 30.0;
    double rotY = 0.0;
    double rotZ = 0.0;
    double lightAngle = 0.0;
};

// Pixel coordinates from the window's top-left; pixel (i, j) has its centre
// at (i, j), so a blob's centroid compares directly.
struct PixelPoint {
    double x = 0.0;
    double y = 0.0;
};

double distance(PixelPoint a, PixelPoint b);

// How close a found marker must be to its projection: the spot is a
// rasterised sphere about 2 pixels in radius.
constexpr double markerTolerance = 1.0;

// The light marker's centre for these angles in a width x height window.
PixelPoint projectMarker(const ViewAngles &angles, int width, int height);

// Centroids of the small spots of pure white. The marker is unlit white;
// saturated specular highlights are white too but come in larger patches.
std::vector<PixelPoint> whiteSpots(const Image &image);

// The whole-degree light angle whose marker lands nearest to `spot`, with
// that distance in pixels; the light steps by whole degrees.
struct AngleFit {
    int lightAngle = 0;
    double distance = 0.0;
};
AngleFit fitLightAngle(PixelPoint spot, ViewAngles angles, int width, int height);

// The white spot nearest to `expected`, if there is any.
std::optional<PixelPoint> findMarker(const Image &image, PixelPoint expected);

// How many times brightness along `row` crosses the middle between the row's
// darkest and brightest pixels, i.e. twice the number of shading bands.
int bandCrossings(const Image &image, int row);

int blackPixels(const Image &image);

// Pixels that differ; every pixel when the sizes differ.
int differingPixels(const Image &a, const Image &b);

} // namespace e2e
