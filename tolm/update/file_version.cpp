#include "tolm/update/file_version.h"

#include <algorithm>

namespace tolm {

namespace {

using u64 = std::uint64_t;

// Little-endian reads that fail, rather than read past the end, on a short file. Offsets are
// 64-bit so that no sum of two 32-bit fields can wrap around (size_t is 32-bit on i686).
struct Bytes {
    std::string_view data;
    bool has(u64 at, u64 length) const { return at <= data.size() && length <= data.size() - at; }
    std::optional<std::uint32_t> u16(u64 at) const {
        if (!has(at, 2)) return std::nullopt;
        auto b = [&](u64 i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + i])); };
        return b(0) | b(1) << 8;
    }
    std::optional<std::uint32_t> u32(u64 at) const {
        auto lo = u16(at), hi = u16(at + 2);
        if (!lo || !hi) return std::nullopt;
        return *lo | *hi << 16;
    }
};

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint32_t kPe32 = 0x10b, kPe32Plus = 0x20b;
constexpr std::uint32_t kResourceTable = 2;  // index among the optional header's data directories
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kVersionInfoId = 1;
constexpr std::uint32_t kSubdirectory = 0x80000000u;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr u64 kFixedInfoSize = 52;
constexpr std::u16string_view kVersionKey = u"VS_VERSION_INFO";

struct Image {
    Bytes file;
    u64 sections = 0;  // file offset of the section table
    std::uint32_t sectionCount = 0;

    // The file offset of `length` bytes at relative virtual address `rva`, when they all lie in
    // one section's data in the file.
    std::optional<u64> offset(u64 rva, u64 length) const {
        for (std::uint32_t i = 0; i < sectionCount; ++i) {
            u64 s = sections + u64{40} * i;
            auto virtualSize = file.u32(s + 8), address = file.u32(s + 12), rawSize = file.u32(s + 16),
                 raw = file.u32(s + 20);
            if (!virtualSize || !address || !rawSize || !raw) return std::nullopt;
            // What lies in the file beyond the section's size in memory is never loaded.
            u64 extent = *virtualSize ? std::min<u64>(*virtualSize, *rawSize) : *rawSize;
            if (rva < *address || rva - *address >= extent) continue;
            u64 into = rva - *address;
            if (length > extent - into || !file.has(*raw + into, length)) return std::nullopt;
            return *raw + into;
        }
        return std::nullopt;
    }
};

std::optional<Image> openImage(std::string_view data, u64& resourceRva) {
    Image image{Bytes{data}};
    const Bytes& f = image.file;
    if (f.u16(0) != 0x5A4D) return std::nullopt;  // "MZ"
    auto pe = f.u32(0x3C);
    if (!pe || f.u32(*pe) != kPeSignature) return std::nullopt;
    u64 coff = *pe + u64{4};
    auto count = f.u16(coff + 2), optionalSize = f.u16(coff + 16);
    u64 optional = coff + 20;
    auto magic = f.u16(optional);
    if (!count || !optionalSize || !magic || (*magic != kPe32 && *magic != kPe32Plus)) return std::nullopt;
    u64 directories = optional + (*magic == kPe32 ? 96 : 112);
    auto directoryCount = f.u32(directories - 4);
    u64 resourceEntry = directories + u64{8} * kResourceTable;
    // The resource table's entry must lie within both the declared directories and the header.
    if (!directoryCount || *directoryCount <= kResourceTable || resourceEntry + 8 > optional + *optionalSize)
        return std::nullopt;
    auto rva = f.u32(resourceEntry);
    if (!rva || *rva == 0) return std::nullopt;
    image.sections = optional + *optionalSize;
    image.sectionCount = *count;
    resourceRva = *rva;
    return image;
}

// The data field of a resource directory's entry: the one named by `id`, or with no `id`
// the first one. Offsets are from the root of the resource tree.
std::optional<std::uint32_t> entry(const Image& image, u64 root, u64 directory, std::optional<std::uint32_t> id) {
    auto header = image.offset(root + directory, 16);
    if (!header) return std::nullopt;
    auto named = image.file.u16(*header + 12), numbered = image.file.u16(*header + 14);
    if (!named || !numbered) return std::nullopt;
    u64 total = u64{*named} + *numbered;
    auto entries = image.offset(root + directory + 16, total * 8);
    if (!entries) return std::nullopt;
    for (u64 i = 0; i < total; ++i) {
        auto name = image.file.u32(*entries + 8 * i), data = image.file.u32(*entries + 8 * i + 4);
        if (!name || !data) return std::nullopt;
        if (!id || (!(*name & kSubdirectory) && *name == *id)) return *data;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::array<std::uint16_t, 4>> readFileVersion(std::string_view data) {
    u64 root = 0;
    std::optional<Image> image = openImage(data, root);
    if (!image) return std::nullopt;

    // Type, then name (the version information is resource 1; else whichever comes first),
    // then language (the first): two subdirectories and a leaf.
    auto byType = entry(*image, root, 0, kRtVersion);
    if (!byType || !(*byType & kSubdirectory)) return std::nullopt;
    u64 names = *byType & ~kSubdirectory;
    auto byName = entry(*image, root, names, kVersionInfoId);
    if (!byName) byName = entry(*image, root, names, std::nullopt);
    if (!byName || !(*byName & kSubdirectory)) return std::nullopt;
    auto leaf = entry(*image, root, *byName & ~kSubdirectory, std::nullopt);
    if (!leaf || (*leaf & kSubdirectory)) return std::nullopt;

    const Bytes& f = image->file;
    auto leafAt = image->offset(root + *leaf, 16);
    if (!leafAt) return std::nullopt;
    auto dataRva = f.u32(*leafAt), dataSize = f.u32(*leafAt + 4);
    if (!dataRva || !dataSize) return std::nullopt;
    auto block = image->offset(*dataRva, *dataSize);
    if (!block) return std::nullopt;

    // VS_VERSIONINFO: length, value length, type, the key in UTF-16 with its terminator, padding
    // to four bytes, then VS_FIXEDFILEINFO.
    u64 keyAt = 6, valueAt = (keyAt + 2 * (kVersionKey.size() + 1) + 3) & ~u64{3};
    auto length = f.u16(*block), valueLength = f.u16(*block + 2);
    if (!length || !valueLength || *length > *dataSize || *valueLength < kFixedInfoSize ||
        valueAt + kFixedInfoSize > *length)
        return std::nullopt;
    for (std::size_t i = 0; i <= kVersionKey.size(); ++i) {
        char16_t want = i < kVersionKey.size() ? kVersionKey[i] : u'\0';
        if (f.u16(*block + keyAt + 2 * i) != std::uint32_t{want}) return std::nullopt;
    }
    u64 fixed = *block + valueAt;
    auto signature = f.u32(fixed), high = f.u32(fixed + 8), low = f.u32(fixed + 12);
    if (signature != kFixedInfoSignature || !high || !low) return std::nullopt;
    return std::array<std::uint16_t, 4>{static_cast<std::uint16_t>(*high >> 16), static_cast<std::uint16_t>(*high),
                                        static_cast<std::uint16_t>(*low >> 16), static_cast<std::uint16_t>(*low)};
}

std::optional<forms::Version> readReleaseVersion(std::string_view image) {
    auto v = readFileVersion(image);
    if (!v || (*v)[2] != 0) return std::nullopt;
    return forms::Version{(*v)[0], (*v)[1], (*v)[3]};
}

}  // namespace tolm
