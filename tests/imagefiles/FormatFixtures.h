#pragma once
// Small valid files of the formats whose builders live with their reader's
// tests, for the tests that go through the load dispatch.
#include "imagefiles/Graphic.h"

TByteBuffer SampleCelFile();  // 3 x 2, 8-bit
TByteBuffer SamplePspFile();  // 7 x 5, one run-length raster layer
TByteBuffer SampleBkiFile();  // 4 x 3 picture with a 2 x 2 thumbnail
