#pragma once

#include "desktop/render/Image.h"
#include "platform/qr/QrCode.h"

// A QR code drawn for a camera: every module a whole number of pixels, no anti-aliasing, dark on
// white with the quiet zone around it. A module that straddled pixels would come out grey at its
// edges, and a reader tolerates that far less than a code a little smaller than asked for.
namespace meterwright::QrImage {

// Pixels per module for the code with its quiet zone in a square of `sidePixels`: the largest
// whole number that fits, never less than 1.
int modulePixels(const QrCode& code, int sidePixels);

// Draws the code and its quiet zone with `modulePixels` pixels per module, its top left corner at
// (`x`, `y`). The context's units must be device pixels.
void draw(cairo_t* cr, const QrCode& code, int modulePixels, int x, int y);

// Draws the code as large as it fits, centred on whole pixels in a white square of `sidePixels`
// (the part the modules do not fill stays white). The context's units must be device pixels.
void drawCentred(cairo_t* cr, const QrCode& code, int sidePixels);

// drawCentred on a bitmap of its own.
Bitmap render(const QrCode& code, int sidePixels);

}  // namespace meterwright::QrImage
