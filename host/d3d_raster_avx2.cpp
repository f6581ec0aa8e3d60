// The fast routines of the host's rasteriser built for AVX2 (see
// d3d_raster_simd.h), chosen at run time; elsewhere the table is empty and
// the plain routines draw.
#include "host/d3d_raster.h"

#if defined(__AVX2__)
#include "host/d3d_raster_simd.h"
#endif

namespace host::raster {

#if defined(__AVX2__)
// Untextured; textured point-sampled; textured bilinear.
extern const RowsFn kFastRows[3] = {Rows<false, false>, Rows<true, false>, Rows<true, true>};
#else
extern const RowsFn kFastRows[3] = {nullptr, nullptr, nullptr};
#endif

}  // namespace host::raster
