#pragma once
// The version a Windows program carries in its version resource, read from the program's bytes
// as they arrived, without loading them: the update download reads it from bytes that came off
// the network, so every field is checked against the bounds before it is used.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/forms/backend.h"

namespace tolm {

// The four numbers of the fixed file version (VS_FIXEDFILEINFO), most significant first;
// nothing when `image` is not a PE program with a well-formed version resource.
std::optional<std::array<std::uint16_t, 4>> readFileVersion(std::string_view image);

// The release the program says it is: its resources number release a.b.c as a.b.0.c, and any
// other form (a non-zero third number) names no release.
std::optional<forms::Version> readReleaseVersion(std::string_view image);

}  // namespace tolm
