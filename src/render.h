#pragma once

// Material, light 0 and depth test; once, after the window exists.
void initLighting();

// GLUT display callback: one frame from viewState.
void display();

// GLUT reshape callback: viewport, projection and the fixed camera.
void reshape(int width, int height);
