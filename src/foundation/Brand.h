#pragma once

// Tallyrig's own colour, sRGB 217, 91, 54, opaque, as 0xRRGGBB: the panel's accents, the pick
// overlay's highlight and the pins drawn on a report's screenshot. The only place it is written
// down; Style::brand() and the drawing code take it from here.
namespace Brand {
inline constexpr unsigned int rgb = 0xD95B36;
}
