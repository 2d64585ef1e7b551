#include "tools/host/presets.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/host/commands.h"
#include "tools/host/files.h"

namespace vsthost {

namespace {

constexpr size_t kProgramNameBytes = 28;
constexpr size_t kFutureBytes = 128;
constexpr size_t kFixedBytes = 7 * 4;  // 'CcnK' to numPrograms/numParams
constexpr size_t kProgramHeaderBytes = kFixedBytes + kProgramNameBytes + 4;
constexpr size_t kBankHeaderBytes = kFixedBytes + kFutureBytes + 4;
constexpr int32_t kProgramFormatVersion = 1;
constexpr int32_t kBankFormatVersion = 2;  // with the current program

uint32_t fourcc(const char* s)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8 | static_cast<uint8_t>(s[3]);
}

void put_be32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

uint32_t get_be32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

std::string id_text(uint32_t id)
{
    std::string s = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((id >> shift) & 0xff);
        s += (c >= 0x20 && c < 0x7f) ? c : '.';
    }
    return s + "'";
}

}  // namespace

std::vector<uint8_t> encode_preset(const PresetFile& p)
{
    std::vector<uint8_t> out;
    put_be32(out, fourcc("CcnK"));
    put_be32(out, 0);  // byteSize, below
    put_be32(out, fourcc(p.bank ? "FBCh" : "FPCh"));
    put_be32(out, static_cast<uint32_t>(p.bank ? kBankFormatVersion : kProgramFormatVersion));
    put_be32(out, static_cast<uint32_t>(p.fx_id));
    put_be32(out, static_cast<uint32_t>(p.fx_version));
    put_be32(out, static_cast<uint32_t>(p.count));
    if (p.bank) {
        put_be32(out, static_cast<uint32_t>(p.current_program));
        out.insert(out.end(), kFutureBytes - 4, 0);
    } else {
        char name[kProgramNameBytes] = {};
        std::strncpy(name, p.program_name.c_str(), sizeof name - 1);
        out.insert(out.end(), name, name + sizeof name);
    }
    put_be32(out, static_cast<uint32_t>(p.chunk.size()));
    out.insert(out.end(), p.chunk.begin(), p.chunk.end());
    const uint32_t after_size_field = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i)
        out[4 + i] = static_cast<uint8_t>(after_size_field >> (24 - 8 * i));
    return out;
}

PresetFile decode_preset(const std::vector<uint8_t>& b, const std::string& path)
{
    if (b.size() < kFixedBytes || get_be32(b.data()) != fourcc("CcnK"))
        throw HostError(path + " is not a VST 2 preset file (no 'CcnK' header)");
    const uint8_t* p = b.data();
    const uint32_t magic = get_be32(p + 8);
    if (magic == fourcc("FxCk") || magic == fourcc("FxBk"))
        throw HostError(path + " holds parameter values, not a chunk; only .fxb/.fxp files with a chunk are read");
    if (magic != fourcc("FBCh") && magic != fourcc("FPCh"))
        throw HostError(path + " is not a VST 2 preset file (unknown kind " + id_text(magic) + ")");
    PresetFile out;
    out.bank = magic == fourcc("FBCh");
    const size_t header = out.bank ? kBankHeaderBytes : kProgramHeaderBytes;
    if (b.size() < header)
        throw HostError(path + " is truncated: " + std::to_string(b.size()) + " bytes, the header alone takes " +
                        std::to_string(header));
    if (get_be32(p + 4) != b.size() - 8)
        throw HostError(path + " is damaged: its header gives " + std::to_string(get_be32(p + 4) + 8ull) +
                        " bytes, the file holds " + std::to_string(b.size()));
    const uint32_t version = get_be32(p + 12);
    if (version < 1 || version > 2)
        throw HostError(path + ": unknown preset file version " + std::to_string(version));
    out.fx_id = static_cast<int32_t>(get_be32(p + 16));
    out.fx_version = static_cast<int32_t>(get_be32(p + 20));
    out.count = static_cast<int32_t>(get_be32(p + 24));
    if (out.bank) {
        out.current_program = version >= 2 ? static_cast<int32_t>(get_be32(p + kFixedBytes)) : 0;
    } else {
        const char* name = reinterpret_cast<const char*>(p + kFixedBytes);
        out.program_name.assign(name, strnlen(name, kProgramNameBytes));
    }
    const uint32_t chunk_size = get_be32(p + header - 4);
    if (chunk_size != b.size() - header)
        throw HostError(path + " is damaged: its chunk size is " + std::to_string(chunk_size) + ", the file holds " +
                        std::to_string(b.size() - header) + " bytes of chunk");
    out.chunk.assign(b.begin() + static_cast<std::ptrdiff_t>(header), b.end());
    return out;
}

std::vector<uint8_t> read_preset_bytes(const std::string& path)
{
    InputFile in(path);
    struct stat st;
    if (fstat(in.fd(), &st) != 0)
        throw HostError("cannot read " + path + ": " + std::strerror(errno));
    if (static_cast<unsigned long long>(st.st_size) > kMaxPresetFileBytes)
        throw HostError(path + " is too large to be a preset file (" + std::to_string(st.st_size) + " bytes)");
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(in.fd(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw HostError("cannot read " + path);
        done += static_cast<size_t>(n);
    }
    return bytes;
}

}  // namespace vsthost
