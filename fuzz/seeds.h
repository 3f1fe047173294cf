// Seed inputs for the fuzz targets, made by the same builders as the tests.
#pragma once

#include <cstdint>
#include <vector>

namespace skyfw::fuzz {

using Bytes = std::vector<uint8_t>;

// Package files: signed images of both framings, a marked block, VPD, plain
// data; wrapped and unwrapped; an empty manifest; properties of every tag.
std::vector<Bytes> PackageSeeds();

// VPD proper: identifier, VPD-R with RV, VPD-W with RW, end tag variants.
std::vector<Bytes> VpdSeeds();

}  // namespace skyfw::fuzz
