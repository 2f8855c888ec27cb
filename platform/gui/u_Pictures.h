// Picture readers: a picture file's bytes to a pixel buffer, the reader chosen by the file name's
// extension (any letter case): "bmp" bitmaps and "ico" icons through gdk-pixbuf, "jpg"/"jpeg"
// through libjpeg, "wmf"/"emf" metafiles through gdk-pixbuf's metafile loader (which reads WMF
// only; an EMF file therefore loads nothing). The readers need no display: the book packer uses
// them as well as the viewer.
#pragma once

#include "u_Exception.h"

#include "u_GObject.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <string>
#include <string_view>

TV_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

// A picture: one reference to a gdk-pixbuf pixel buffer.
using TPixbuf = TGObjectPtr<GdkPixbuf>;

// Whether a reader exists for the file name's extension.
bool IsPictureFileName(std::string_view fileName);

// The picture in data, read by the reader for fileName's extension. Raises EInvalidGraphic for an
// unknown extension or bytes that reader cannot decode.
TPixbuf LoadPicture(std::string_view fileName, const std::string& data);

// A JPEG image decoded with libjpeg (grey-scale and CMYK images become RGB).
TPixbuf LoadJpeg(const std::string& data);

// The colour of the pixel at (x, y) as 0x00BBGGRR (the colour encoding of the description files);
// -1 when the point lies outside the picture.
int32_t PixelColor(const TPixbuf& picture, int x, int y);
// A copy of picture in which every pixel of color (0x00BBGGRR) is transparent; color -1 gives the
// picture unchanged. Pixels already transparent stay so.
TPixbuf WithTransparentColor(const TPixbuf& picture, int32_t color);
// A bitmap's own transparent colour: the colour of its bottom-left pixel.
int32_t BitmapTransparentColor(const TPixbuf& picture);
