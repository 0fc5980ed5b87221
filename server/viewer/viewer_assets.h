#pragma once

#include <cstddef>

// The viewer page's files (server/viewer/web), compiled in.
struct ViewerAsset {
    const char *name;
    const unsigned char *bytes;
    std::size_t size;
};

extern const ViewerAsset viewer_assets[];
extern const std::size_t viewer_asset_count;
