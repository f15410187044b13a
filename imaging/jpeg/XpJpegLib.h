#pragma once

// The system libjpeg (IJG API 62) with the BGR pixel order of this system's
// pixmaps. jpeglib.h needs FILE and size_t declared before it.
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#if JPEG_LIB_VERSION != 62
#error "libjpeg with API version 62 is required"
#endif
#ifndef JCS_EXTENSIONS
#error "libjpeg with the extended colour spaces (JCS_EXT_BGR) is required"
#endif
