#pragma once

#include <memory>

#include "colormap/colormap.h"
#include "core/format.h"
#include "parsers/forward_walk.h"
#include "parsers/random_access.h"
#include "parsers/registry.h"

namespace lumo {

/// Each parser paints the colormap of `input`; a parser that runs out of
/// input stops quietly with what it painted so far.
void colorizeElf(const RandomAccess& input, Colormap& colormap);
void colorizePe(const RandomAccess& input, Colormap& colormap);
void colorizeQoi(const RandomAccess& input, Colormap& colormap);
void colorizeMachO(const RandomAccess& input, Colormap& colormap);
void colorizeWasm(const RandomAccess& input, Colormap& colormap);
void colorizeZip(const RandomAccess& input, Colormap& colormap);
void colorizePng(const RandomAccess& input, Colormap& colormap);
void colorizeJpeg(const RandomAccess& input, Colormap& colormap);
void colorizeGzip(const RandomAccess& input, Colormap& colormap);
void colorizeGif(const RandomAccess& input, Colormap& colormap);
void colorizeData(const RandomAccess& input, Colormap& colormap);

/// The forward walks, for the formats that have one.
std::unique_ptr<ForwardWalk> makeWasmForwardWalk();
std::unique_ptr<ForwardWalk> makePngForwardWalk();
std::unique_ptr<ForwardWalk> makeJpegForwardWalk();
std::unique_ptr<ForwardWalk> makeGzipForwardWalk();
std::unique_ptr<ForwardWalk> makeGifForwardWalk();

/// Each format's descriptor, defined beside its parser; the registry lists
/// them in the order of detection.
extern const Format kElfFormat;
extern const Format kPeFormat;
extern const Format kQoiFormat;
extern const Format kMachOFormat;
extern const Format kWasmFormat;
extern const Format kZipFormat;
extern const Format kPngFormat;
extern const Format kJpegFormat;
extern const Format kGzipFormat;
extern const Format kGifFormat;
extern const Format kDataFormat;

}  // namespace lumo
