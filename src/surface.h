#pragma once

// The corrugated 10 x 10 patch, sent in immediate mode. Call with a current
// GL context and outside glBegin/glEnd.
void drawDisplacedStrip(float z0, float z1);
void drawBumpedStrip(float z0, float z1);
void drawDisplacedSurface();
void drawBumpedSurface();
