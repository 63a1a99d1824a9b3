#pragma once
// The title picture of the main form, drawn at run time.

#include <QImage>
#include <QSize>

namespace talvern {

// 259 x 98 pixels: the program name over a small sketch of two spectra.
QImage talvern_title_picture();

constexpr QSize talvern_title_picture_size() { return {259, 98}; }

}  // namespace talvern
