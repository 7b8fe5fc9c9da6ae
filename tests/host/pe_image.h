#pragma once
// A minimal Windows program image with a version resource, laid out by hand so that tests can
// break it at any field: MZ header, PE header, one .rsrc section whose tree leads RT_VERSION /
// 1 / 0x804 to a VS_VERSIONINFO with its VS_FIXEDFILEINFO.
#include <cstdint>
#include <string>

namespace pe {

// File offsets of the fields the tests break.
inline constexpr std::size_t kPeHeader = 0x40, kCoff = kPeHeader + 4, kOptional = kCoff + 20;
inline constexpr std::size_t kRaw = 0x200;  // the .rsrc section's data
inline constexpr std::uint32_t kRva = 0x1000;
// Within the section's data.
inline constexpr std::size_t kRoot = 0, kNames = 0x18, kLanguages = 0x30, kLeaf = 0x48, kBlock = 0x58;
inline constexpr std::size_t kFixed = kBlock + 40;

inline void put16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF), s[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
inline void put32(std::string& s, std::size_t at, std::uint32_t v) {
    put16(s, at, v & 0xFFFF), put16(s, at + 2, v >> 16);
}

inline std::size_t sectionTable(bool plus) { return kOptional + (plus ? 240 : 224); }

// File version a.b.c.d; a PE32+ image when `plus`.
inline std::string image(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d, bool plus = false) {
    std::string s(kRaw + kFixed + 52 + 12, '\0');
    s[0] = 'M', s[1] = 'Z';
    put32(s, 0x3C, kPeHeader);
    s.replace(kPeHeader, 4, std::string("PE\0\0", 4));
    put16(s, kCoff, plus ? 0x8664 : 0x14c);
    put16(s, kCoff + 2, 1);
    put16(s, kCoff + 16, plus ? 240 : 224);
    put16(s, kOptional, plus ? 0x20b : 0x10b);
    std::size_t directories = kOptional + (plus ? 112 : 96);
    put32(s, directories - 4, 16);
    std::uint32_t size = static_cast<std::uint32_t>(s.size() - kRaw);
    put32(s, directories + 16, kRva), put32(s, directories + 20, size);
    std::size_t section = sectionTable(plus);
    s.replace(section, 5, ".rsrc");
    put32(s, section + 8, size), put32(s, section + 12, kRva), put32(s, section + 16, size);
    put32(s, section + 20, kRaw);

    auto directory = [&](std::size_t at, std::uint32_t name, std::uint32_t data) {
        put16(s, kRaw + at + 14, 1);  // one entry by number
        put32(s, kRaw + at + 16, name), put32(s, kRaw + at + 20, data);
    };
    directory(kRoot, 16, 0x80000000u | kNames);
    directory(kNames, 1, 0x80000000u | kLanguages);
    directory(kLanguages, 0x804, kLeaf);
    put32(s, kRaw + kLeaf, kRva + kBlock), put32(s, kRaw + kLeaf + 4, 40 + 52);

    put16(s, kRaw + kBlock, 40 + 52), put16(s, kRaw + kBlock + 2, 52);
    const char* key = "VS_VERSION_INFO";
    for (int i = 0; key[i]; ++i) put16(s, kRaw + kBlock + 6 + 2 * i, static_cast<unsigned char>(key[i]));
    put32(s, kRaw + kFixed, 0xFEEF04BDu), put32(s, kRaw + kFixed + 4, 0x10000);
    put32(s, kRaw + kFixed + 8, std::uint32_t{a} << 16 | b), put32(s, kRaw + kFixed + 12, std::uint32_t{c} << 16 | d);
    return s;
}

}  // namespace pe
