// OpenGL 1.1's immediate mode as Emscripten's emulation can draw it. OpenGL
// keeps a current colour and texture coordinate, which every vertex takes
// whether or not they were set just before it; the emulation lays out each
// vertex as the calls before its glVertex came, so it needs every vertex of a
// glBegin/glEnd given the same attributes, and it keeps a colour given there
// in 8 bits where one given outside stays a float. The web back end collects
// the vertices of a glBegin/glEnd here and draws them again in batches of one
// colour where the primitives allow. No GL calls here, so that the native
// tests can check the batches.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <vector>

struct WebVertex {
  GLfloat colour[4];
  GLfloat texCoord[2];
  GLfloat position[2];
};

struct WebDraw {
  size_t first; // the first vertex and how many
  size_t count;
  bool oneColour; // all in the colour of the first vertex; otherwise a colour per vertex
};

// The draws that give the same picture as glBegin(mode), the vertices,
// glEnd. Separate primitives (points, lines, triangles, quads) are split
// where the colour changes between them; a strip, fan, loop or polygon that
// changes colour, or a primitive that changes colour within itself, keeps a
// colour per vertex.
void WebImmediateDraws(GLenum mode, const WebVertex *vertices, size_t count,
                       std::vector<WebDraw> *draws);
