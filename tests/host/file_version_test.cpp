#include <gtest/gtest.h>

#include <functional>

#include "pe_image.h"
#include "tolm/update/file_version.h"

namespace {

using Numbers = std::array<std::uint16_t, 4>;

TEST(FileVersion, ReadsTheFixedVersionOfBothImageKinds) {
    EXPECT_EQ(tolm::readFileVersion(pe::image(1, 0, 0, 35)), (Numbers{1, 0, 0, 35}));
    EXPECT_EQ(tolm::readFileVersion(pe::image(65535, 2, 3, 65534, true)), (Numbers{65535, 2, 3, 65534}));
    EXPECT_EQ(tolm::readReleaseVersion(pe::image(1, 0, 0, 35)), (forms::Version{1, 0, 35}));
    EXPECT_EQ(tolm::readReleaseVersion(pe::image(1, 0, 1, 35)), std::nullopt) << "not how a release is numbered";
}

TEST(FileVersion, EveryCutOfTheImageReadsAsNoVersion) {
    std::string whole = pe::image(1, 0, 0, 35);
    // The last 12 bytes are slack after the block.
    for (std::size_t n = 0; n + 12 < whole.size(); ++n)
        EXPECT_EQ(tolm::readFileVersion(whole.substr(0, n)), std::nullopt) << n << " bytes";
}

TEST(FileVersion, HostileFieldsReadAsNoVersionWithoutReadingOutside) {
    using pe::put16, pe::put32;
    const std::size_t section = pe::sectionTable(false), raw = pe::kRaw, dirs = pe::kOptional + 96;
    struct Case {
        const char* what;
        std::function<void(std::string&)> spoil;
        bool reads = false;
    } cases[] = {
        {"intact", [](std::string&) {}, true},
        {"not MZ", [](std::string& s) { s[1] = 'X'; }},
        {"PE header beyond the end", [](std::string& s) { put32(s, 0x3C, 0xFFFFFFF0u); }},
        {"PE header at the last bytes", [](std::string& s) { put32(s, 0x3C, static_cast<std::uint32_t>(s.size() - 2)); }},
        {"no PE signature", [](std::string& s) { s[pe::kPeHeader + 1] = 'X'; }},
        {"unknown optional header", [](std::string& s) { put16(s, pe::kOptional, 0x107); }},
        {"two data directories only", [&](std::string& s) { put32(s, dirs - 4, 2); }},
        {"optional header too short for the resource entry", [](std::string& s) { put16(s, pe::kCoff + 16, 100); }},
        {"optional header longer than the file", [](std::string& s) { put16(s, pe::kCoff + 16, 0xFFFF); }},
        {"no sections", [](std::string& s) { put16(s, pe::kCoff + 2, 0); }},
        {"no resources", [&](std::string& s) { put32(s, dirs + 16, 0); }},
        {"resources outside every section", [&](std::string& s) { put32(s, dirs + 16, 0x9000); }},
        {"section data beyond the end", [&](std::string& s) { put32(s, section + 20, 0xFFFFFF00u); }},
        {"section shorter in memory than the tree", [&](std::string& s) { put32(s, section + 8, 0x20); }},
        {"section size overstated, bytes all there", [&](std::string& s) {
             put32(s, section + 8, 0), put32(s, section + 16, 0xFFFFFFFFu);
         }, true},
        {"a directory of 131070 entries", [&](std::string& s) { put16(s, raw + 12, 0xFFFF), put16(s, raw + 14, 0xFFFF); }},
        {"no version type", [&](std::string& s) { put32(s, raw + 16, 3); }},
        {"version type a leaf", [&](std::string& s) { put32(s, raw + 20, pe::kLeaf); }},
        {"subdirectory far outside", [&](std::string& s) { put32(s, raw + 20, 0xFFFFFFFFu); }},
        {"the tree looping back to its root", [&](std::string& s) { put32(s, raw + pe::kNames + 20, 0x80000000u); }},
        {"language a subdirectory", [&](std::string& s) { put32(s, raw + pe::kLanguages + 20, 0x80000000u | pe::kNames); }},
        {"another name than 1 is taken as well", [&](std::string& s) { put32(s, raw + pe::kNames + 16, 7); }, true},
        {"data outside every section", [&](std::string& s) { put32(s, raw + pe::kLeaf, 0x80000000u); }},
        {"data longer than the section", [&](std::string& s) { put32(s, raw + pe::kLeaf + 4, 0xFFFFFFF0u); }},
        {"data shorter than its block", [&](std::string& s) { put32(s, raw + pe::kLeaf + 4, 60); }},
        {"block longer than its data", [&](std::string& s) { put16(s, raw + pe::kBlock, 200); }},
        {"value too short", [&](std::string& s) { put16(s, raw + pe::kBlock + 2, 51); }},
        {"another key", [&](std::string& s) { s[raw + pe::kBlock + 6] = 'W'; }},
        {"key without terminator", [&](std::string& s) { s[raw + pe::kBlock + 6 + 30] = 'X'; }},
        {"fixed info signature wrong", [&](std::string& s) { s[raw + pe::kFixed] ^= 1; }},
    };
    for (const Case& c : cases) {
        std::string bytes = pe::image(1, 0, 0, 35);
        c.spoil(bytes);
        // Read from a copy of exactly its own size, so that the sanitizer sees any read past it.
        std::string exact(bytes);
        exact.shrink_to_fit();
        auto got = tolm::readFileVersion(exact);
        EXPECT_EQ(got.has_value(), c.reads) << c.what;
        if (got && c.reads) {
            EXPECT_EQ(*got, (Numbers{1, 0, 0, 35})) << c.what;
        }
    }
}

}  // namespace
