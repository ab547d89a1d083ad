// libtiff, opened with dlopen at the first TIFF decoded or encoded, so that
// a run that reads no TIFF does not load it nor the compression libraries
// it brings.
#pragma once

#include <tiffio.h>

namespace kiv {

#define KIV_TIFF_FUNCTIONS(X)                                                                      \
    X(OpenOptionsAlloc)                                                                            \
    X(OpenOptionsSetErrorHandlerExtR)                                                              \
    X(OpenOptionsSetWarningHandlerExtR)                                                            \
    X(OpenOptionsSetMaxSingleMemAlloc)                                                             \
    X(OpenOptionsFree)                                                                             \
    X(ClientOpenExt)                                                                               \
    X(Close)                                                                                       \
    X(Flush)                                                                                       \
    X(GetField)                                                                                    \
    X(SetField)                                                                                    \
    X(RGBAImageOK)                                                                                 \
    X(ReadRGBAImageOriented)                                                                       \
    X(DefaultStripSize)                                                                            \
    X(WriteScanline)

// The entry points, named without their TIFF prefix.
struct TiffApi {
#define KIV_TIFF_FIELD(name) decltype(&TIFF##name) name = nullptr;
    KIV_TIFF_FUNCTIONS(KIV_TIFF_FIELD)
#undef KIV_TIFF_FIELD
};

// Opens libtiff once; null when it cannot be loaded.
const TiffApi* tiff_api();

} // namespace kiv
