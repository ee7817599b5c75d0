#pragma once
// The program's bitmaps, drawn at start-up: the three toolbar strips (ten
// images of 32 × 32 each, on a flat grey that serves as the transparent
// colour) and the program icon.

#include <QIcon>
#include <QImage>

namespace bitmap {
inline constexpr int kToolbarDisabled = 181;
inline constexpr int kToolbarNormal = 182;
inline constexpr int kToolbarHot = 183;
inline constexpr int kImageSize = 32;
inline constexpr int kImageCount = 10;
}  // namespace bitmap

// The bitmap with the given resource id, 24 bits per pixel; a null image for
// an unknown id.
QImage LoadBitmapResource(int id);

QImage DrawToolbarStrip(bool disabled);

// The icon at the given edge length: a yellow-green brain in a light-blue ring
// with short blue strokes below.
QImage DrawProgramIcon(int size);
QIcon ProgramIcon();
