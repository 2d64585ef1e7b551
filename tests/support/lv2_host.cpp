#include "tests/support/lv2_host.h"

#include <lv2/atom/util.h>
#include <lv2/patch/patch.h>

#include <cstring>

namespace test_support {

namespace {

constexpr const char* kBank = "http://kestrelwood.com/plugins/ze710#bank";

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
    if (atom->type != m.map(LV2_ATOM__Object))
        return out;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
    out.get = object->body.otype == m.map(LV2_PATCH__Get);
    const LV2_Atom* body = nullptr;
    lv2_atom_object_get(object, m.map(LV2_PATCH__body), &body, 0);
    if (object->body.otype != m.map(LV2_PATCH__Put) || !body || body->type != m.map(LV2_ATOM__Object))
        return out;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(reinterpret_cast<const LV2_Atom_Object*>(body), m.map(kBank), &value, 0);
    if (value && value->type == m.map(LV2_ATOM__Chunk)) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(value + 1);
        out.bank.assign(bytes, bytes + value->size);
    }
    return out;
}

std::vector<uint8_t> patch_get(urid_map& m)
{
    const LV2_Atom_Object get = {{sizeof(LV2_Atom_Object_Body), m.map(LV2_ATOM__Object)}, {0, m.map(LV2_PATCH__Get)}};
    std::vector<uint8_t> out;
    append(out, &get, sizeof get);
    return out;
}

std::vector<uint8_t> patch_put_bank(urid_map& m, const std::vector<uint8_t>& chunk)
{
    // patch:Put [ patch:body [ <bank> chunk ] ]: the object's body, its one
    // property (an object), that object's body and its one property.
    const uint32_t words[] = {0, m.map(LV2_PATCH__Put),
                              m.map(LV2_PATCH__body), 0, static_cast<uint32_t>(8 + 16 + chunk.size()), m.map(LV2_ATOM__Object),
                              0, 0,
                              m.map(kBank), 0, static_cast<uint32_t>(chunk.size()), m.map(LV2_ATOM__Chunk)};
    std::vector<uint8_t> body;
    append(body, words, sizeof words);
    append(body, chunk.data(), chunk.size());
    const LV2_Atom atom = {static_cast<uint32_t>(body.size()), m.map(LV2_ATOM__Object)};
    std::vector<uint8_t> out;
    append(out, &atom, sizeof atom);
    out.insert(out.end(), body.begin(), body.end());
    return out;
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
