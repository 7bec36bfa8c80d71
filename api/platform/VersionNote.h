// The library's version numbers, stored in the library file itself as an ELF
// note (section ".note.vkvx.version", owner "VKVX"), so that a reader can take
// them from the file without loading or running it.  This one header serves
// the library's banner, the viewer's version check and the tests: it defines
// the note and a pure parser over the file's bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define VKVX_VERSION_NOTE_SECTION ".note.vkvx.version"
#define VKVX_VERSION_NOTE_TYPE 0x56455231u /* "1REV" */

struct vkvx_version_note {
    uint32_t namesz; /* 5: "VKVX" and its terminator */
    uint32_t descsz; /* 8: four u16 */
    uint32_t type;
    char name[8];
    uint16_t version[4]; /* major, minor, build (release), revision */
};

/* Places a version note into the object being built (use once per binary). */
#define VKVX_DEFINE_VERSION_NOTE(major, minor, build, revision)                                      \
    __attribute__((section(VKVX_VERSION_NOTE_SECTION), used, aligned(4))) const struct vkvx_version_note \
        vkvx_version_note_ = {5, 8, VKVX_VERSION_NOTE_TYPE, "VKVX", {(major), (minor), (build), (revision)}}

#ifdef __cplusplus

#include <elf.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace vkvx {

struct VersionNumbers {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t build = 0;
    uint16_t revision = 0;
};

namespace detail {

// Walks the notes in [data+off, data+off+size) looking for the VKVX note.
inline bool findVersionInNotes(const uint8_t* data, size_t fileSize, uint64_t off, uint64_t size,
                               VersionNumbers& out)
{
    if (off > fileSize || size > fileSize - off) {
        return false;
    }
    const uint8_t* p = data + off;
    const uint8_t* end = p + size;
    while (static_cast<size_t>(end - p) >= 12) {
        uint32_t namesz, descsz, type;
        std::memcpy(&namesz, p, 4);
        std::memcpy(&descsz, p + 4, 4);
        std::memcpy(&type, p + 8, 4);
        p += 12;
        uint64_t nameAligned = (static_cast<uint64_t>(namesz) + 3) & ~uint64_t(3);
        uint64_t descAligned = (static_cast<uint64_t>(descsz) + 3) & ~uint64_t(3);
        if (nameAligned > static_cast<uint64_t>(end - p) || descAligned > static_cast<uint64_t>(end - p) - nameAligned) {
            return false;
        }
        if (namesz == 5 && std::memcmp(p, "VKVX", 5) == 0 && type == VKVX_VERSION_NOTE_TYPE && descsz >= 8) {
            const uint8_t* d = p + nameAligned;
            std::memcpy(&out.major, d, 2);
            std::memcpy(&out.minor, d + 2, 2);
            std::memcpy(&out.build, d + 4, 2);
            std::memcpy(&out.revision, d + 6, 2);
            return true;
        }
        p += nameAligned + descAligned;
    }
    return false;
}

}  // namespace detail

// Parses a 64-bit little-endian ELF image; true when it holds a version note.
inline bool parseVersionNote(const uint8_t* data, size_t size, VersionNumbers& out)
{
    if (size < sizeof(Elf64_Ehdr) || std::memcmp(data, ELFMAG, SELFMAG) != 0 || data[EI_CLASS] != ELFCLASS64 ||
        data[EI_DATA] != ELFDATA2LSB) {
        return false;
    }
    Elf64_Ehdr eh;
    std::memcpy(&eh, data, sizeof eh);
    // Section headers: every SHT_NOTE section.
    if (eh.e_shoff != 0 && eh.e_shentsize == sizeof(Elf64_Shdr) && eh.e_shoff <= size &&
        static_cast<uint64_t>(eh.e_shnum) * sizeof(Elf64_Shdr) <= size - eh.e_shoff) {
        for (unsigned i = 0; i < eh.e_shnum; ++i) {
            Elf64_Shdr sh;
            std::memcpy(&sh, data + eh.e_shoff + i * sizeof(Elf64_Shdr), sizeof sh);
            if (sh.sh_type == SHT_NOTE && detail::findVersionInNotes(data, size, sh.sh_offset, sh.sh_size, out)) {
                return true;
            }
        }
    }
    // Program headers: every PT_NOTE segment (files without section headers).
    if (eh.e_phoff != 0 && eh.e_phentsize == sizeof(Elf64_Phdr) && eh.e_phoff <= size &&
        static_cast<uint64_t>(eh.e_phnum) * sizeof(Elf64_Phdr) <= size - eh.e_phoff) {
        for (unsigned i = 0; i < eh.e_phnum; ++i) {
            Elf64_Phdr ph;
            std::memcpy(&ph, data + eh.e_phoff + i * sizeof(Elf64_Phdr), sizeof ph);
            if (ph.p_type == PT_NOTE && detail::findVersionInNotes(data, size, ph.p_offset, ph.p_filesz, out)) {
                return true;
            }
        }
    }
    return false;
}

// Reads the version note of the file at path; false when the file cannot be
// read or carries no note.
inline bool readVersionNote(const char* path, VersionNumbers& out)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > (512u << 20)) {  // no library of ours is this large
            std::fclose(f);
            return false;
        }
    }
    std::fclose(f);
    return parseVersionNote(bytes.data(), bytes.size(), out);
}

}  // namespace vkvx

#endif
