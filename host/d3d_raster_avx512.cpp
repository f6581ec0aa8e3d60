// The fast routines of the host's rasteriser (d3d_raster_simd.h) built again
// for processors with the 512-bit extensions: the same eight-lane code and
// arithmetic, compiled with the extensions' 32 vector registers, which it
// needs to keep its per-span values out of memory.  Chosen at run time over
// the AVX2 build where the processor has them; elsewhere the table is empty.
#include "host/d3d_raster.h"

#if defined(__AVX512F__) && defined(__AVX512VL__)
#include "host/d3d_raster_simd.h"
#endif

namespace host::raster {

#if defined(__AVX512F__) && defined(__AVX512VL__)
// Untextured; textured point-sampled; textured bilinear.
extern const RowsFn kFastRowsWide[3] = {Rows<false, false>, Rows<true, false>, Rows<true, true>};
#else
extern const RowsFn kFastRowsWide[3] = {nullptr, nullptr, nullptr};
#endif

}  // namespace host::raster
