#pragma once
// What the window skins painted at build time share: a window body with a
// caption strip on magenta (transparent) and buttons, and the program around
// the painting (arguments, offscreen platform, saving the bitmap).

#include <QPainter>
#include <QRect>
#include <QSize>

#include <functional>

namespace skins {

// A button filling its rectangle, with the label centred.
void Button(QPainter& painter, const QRect& area, const char* label);

// Paints a window of the size with its caption text, lets paintBody add the
// rest (the painter set for 12-pixel labels), and saves it as the BMP file
// named by the only argument. Returns the program's exit code.
int PaintSkin(int argc, char** argv, const char* program, QSize size, const char* caption,
              const std::function<void(QPainter&)>& paintBody);

} // namespace skins
