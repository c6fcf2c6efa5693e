// Owning handle of a libgd image.
#pragma once

#include <memory>

#include <gd.h>

struct gd_destroyer {
    void operator()(gdImage* im) const noexcept { gdImageDestroy(im); }
};

using owned_image = std::unique_ptr<gdImage, gd_destroyer>;
