// Our own vendor-specific dispatcher calls (effVendorSpecific), made only by the zornbeck host.
// Other hosts never send the tag, and an unknown tag is answered 0 like any other opcode.
#pragma once

#include "vst/VstInterface.h"

// effVendorSpecific, index = kZornbeckVendorTag, value = one of the requests below.
constexpr VstInt32 kZornbeckVendorTag = fourCharCode('Z', 'r', 'b', 'k');

enum ZornbeckVendorRequest : VstIntPtr {
    // ptr -> ZornbeckScreenshot; answer 1 when the editor was drawn into the pixels.
    kZornbeckScreenshot = 1,
};

// The host owns the pixels: width x height premultiplied ARGB32, rows of stride bytes.
struct ZornbeckScreenshot {
    VstInt32 width;
    VstInt32 height;
    VstInt32 stride;
    std::uint32_t* pixels;
};
