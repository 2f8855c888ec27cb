// Picture readers: a picture file's bytes to a pixel buffer, the reader chosen by the file name's
// extension (any letter case): "bmp" bitmaps and "ico" icons through gdk-pixbuf, "jpg"/"jpeg"
// through libjpeg, "wmf"/"emf" metafiles through gdk-pixbuf's metafile loader (which reads WMF
// only; an EMF file therefore loads nothing).
#pragma once

#include "u_SysUtils.h"

#include <gdkmm/pixbuf.h>

#include <string>
#include <string_view>

TV_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

// Whether a reader exists for the file name's extension.
bool IsPictureFileName(std::string_view fileName);

// The picture in data, read by the reader for fileName's extension. Raises EInvalidGraphic for an
// unknown extension or bytes that reader cannot decode.
Glib::RefPtr<Gdk::Pixbuf> LoadPicture(std::string_view fileName, const std::string& data);

// A JPEG image decoded with libjpeg (grey-scale and CMYK images become RGB).
Glib::RefPtr<Gdk::Pixbuf> LoadJpeg(const std::string& data);
