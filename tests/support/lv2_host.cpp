#include "tests/support/lv2_host.h"

#include <gtest/gtest.h>
#include <lv2/atom/util.h>

#include <cstring>

#include "model/eq_chunk.h"

namespace test_support {

namespace {

void append(std::vector<uint8_t>& out, const void* data, size_t n)
{
    const auto* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + n);
    out.resize((out.size() + 7) / 8 * 8, 0);  // atoms are padded to 8 bytes
}

}  // namespace

urid_map::urid_map()
{
    m_map.handle = this;
    m_map.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<urid_map*>(h)->map(uri); };
    m_feature = {LV2_URID__map, &m_map};
    m_urids.map_all(&m_map);
}

LV2_URID urid_map::map(const char* uri)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (size_t i = 0; i < m_uris.size(); ++i)
        if (m_uris[i] == uri)
            return static_cast<LV2_URID>(i + 1);
    m_uris.emplace_back(uri);
    return static_cast<LV2_URID>(m_uris.size());
}

patch_message read_patch(urid_map& m, const LV2_Atom* atom)
{
    patch_message out;
    const uint8_t* chunk = nullptr;
    switch (ze710_read_message(atom, sizeof(LV2_Atom) + atom->size, m.urids(), &chunk)) {
    case Ze710Message::kGet: out.get = true; break;
    case Ze710Message::kBank: out.bank.assign(chunk, chunk + eq_chunk::kBankBytes); break;
    case Ze710Message::kOther: break;
    }
    return out;
}

std::vector<uint8_t> patch_message_atom(urid_map& m, const std::vector<uint8_t>* bank)
{
    alignas(8) uint8_t buffer[1024];
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, const_cast<LV2_URID_Map*>(static_cast<const LV2_URID_Map*>(m.feature()->data)));
    lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
    const bool written = bank ? ze710_write_bank(&forge, m.urids(), bank->data()) : ze710_write_get(&forge, m.urids());
    EXPECT_TRUE(written && (!bank || bank->size() == eq_chunk::kBankBytes));
    const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer);
    return std::vector<uint8_t>(buffer, buffer + sizeof(LV2_Atom) + atom->size);
}

void atom_port::input(urid_map& m, const std::vector<std::vector<uint8_t>>& events)
{
    std::vector<uint8_t> body(sizeof(LV2_Atom_Sequence_Body), 0);
    for (const std::vector<uint8_t>& e : events) {
        const int64_t frames = 0;
        append(body, &frames, sizeof frames);
        append(body, e.data(), e.size());
    }
    LV2_Atom_Sequence* s = sequence();
    s->atom.size = static_cast<uint32_t>(body.size());
    s->atom.type = m.map(LV2_ATOM__Sequence);
    std::memcpy(&s->body, body.data(), body.size());
}

void atom_port::output(urid_map& m)
{
    LV2_Atom_Sequence* s = sequence();
    s->atom.size = static_cast<uint32_t>(sizeof bytes - sizeof(LV2_Atom));
    s->atom.type = m.map(LV2_ATOM__Chunk);
}

std::vector<patch_message> atom_port::messages(urid_map& m)
{
    std::vector<patch_message> out;
    LV2_Atom_Sequence* s = sequence();
    if (s->atom.type != m.map(LV2_ATOM__Sequence))
        return out;
    LV2_ATOM_SEQUENCE_FOREACH(s, event)
    out.push_back(read_patch(m, &event->body));
    return out;
}

}  // namespace test_support
