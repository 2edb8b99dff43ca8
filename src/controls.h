#pragma once

// GLUT keyboard callback: Return, Escape, space, '+', '-' and 'a'.
void keyboard(unsigned char key, int x, int y);

// GLUT special-key callback: the arrow keys, Page Up and Page Down.
void specialKey(int key, int x, int y);

// GLUT idle callback, registered while the light circles.
void idle();
