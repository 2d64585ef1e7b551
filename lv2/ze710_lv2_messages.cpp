#include "lv2/ze710_lv2_messages.h"

#include <lv2/atom/atom.h>
#include <lv2/patch/patch.h>

#include <cstring>

#include "lv2/ze710_lv2_ports.h"
#include "model/eq_chunk.h"

bool Ze710Urids::map_all(const LV2_URID_Map* map)
{
    if (!map || !map->map)
        return false;
    auto m = [map](const char* uri) { return map->map(map->handle, uri); };
    atom_Object = m(LV2_ATOM__Object);
    atom_Chunk = m(LV2_ATOM__Chunk);
    atom_Int = m(LV2_ATOM__Int);
    atom_Long = m(LV2_ATOM__Long);
    atom_URID = m(LV2_ATOM__URID);
    atom_Sequence = m(LV2_ATOM__Sequence);
    atom_eventTransfer = m(LV2_ATOM__eventTransfer);
    patch_Get = m(LV2_PATCH__Get);
    patch_Put = m(LV2_PATCH__Put);
    patch_body = m(LV2_PATCH__body);
    program = m(ZE710_LV2_PROGRAM_URI);
    bank = m(ZE710_LV2_BANK_URI);
    return true;
}

namespace {

// The value of property `key` in an object of `size` body bytes, each
// property checked to lie wholly inside it; null when absent or malformed.
const LV2_Atom* find_property(const LV2_Atom_Object_Body* body, uint32_t size, LV2_URID key)
{
    const auto* at = reinterpret_cast<const uint8_t*>(body + 1);
    const auto* end = reinterpret_cast<const uint8_t*>(body) + size;
    while (end - at >= static_cast<ptrdiff_t>(sizeof(LV2_Atom_Property_Body))) {
        const auto* p = reinterpret_cast<const LV2_Atom_Property_Body*>(at);
        if (p->value.size > static_cast<size_t>(end - at) - sizeof(LV2_Atom_Property_Body))
            return nullptr;
        if (p->key == key)
            return &p->value;
        at += lv2_atom_pad_size(static_cast<uint32_t>(sizeof(LV2_Atom_Property_Body) + p->value.size));
    }
    return nullptr;
}

}  // namespace

Ze710Message ze710_read_message(const LV2_Atom* atom, size_t bound, const Ze710Urids& u, const uint8_t** chunk)
{
    if (!atom || !u.mapped() || bound < sizeof(LV2_Atom_Object) || atom->type != u.atom_Object ||
        atom->size > bound - sizeof(LV2_Atom) || atom->size < sizeof(LV2_Atom_Object_Body))
        return Ze710Message::kOther;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
    if (object->body.otype == u.patch_Get)
        return Ze710Message::kGet;
    if (object->body.otype != u.patch_Put)
        return Ze710Message::kOther;
    const LV2_Atom* body = find_property(&object->body, atom->size, u.patch_body);
    if (!body || body->type != u.atom_Object || body->size < sizeof(LV2_Atom_Object_Body))
        return Ze710Message::kOther;
    const LV2_Atom* value = find_property(reinterpret_cast<const LV2_Atom_Object_Body*>(body + 1), body->size, u.bank);
    if (!value || value->type != u.atom_Chunk || value->size != eq_chunk::kBankBytes)
        return Ze710Message::kOther;
    *chunk = reinterpret_cast<const uint8_t*>(value + 1);
    return Ze710Message::kBank;
}

bool ze710_write_get(LV2_Atom_Forge* forge, const Ze710Urids& u)
{
    LV2_Atom_Forge_Frame frame;
    if (!lv2_atom_forge_object(forge, &frame, 0, u.patch_Get))
        return false;
    lv2_atom_forge_pop(forge, &frame);
    return true;
}

bool ze710_write_bank(LV2_Atom_Forge* forge, const Ze710Urids& u, const uint8_t* chunk)
{
    LV2_Atom_Forge_Frame put, body;
    if (!lv2_atom_forge_object(forge, &put, 0, u.patch_Put))
        return false;
    bool whole = lv2_atom_forge_key(forge, u.patch_body) && lv2_atom_forge_object(forge, &body, 0, 0);
    if (whole) {
        whole = lv2_atom_forge_key(forge, u.bank) && lv2_atom_forge_atom(forge, eq_chunk::kBankBytes, u.atom_Chunk) &&
                lv2_atom_forge_write(forge, chunk, eq_chunk::kBankBytes);
        lv2_atom_forge_pop(forge, &body);
    }
    lv2_atom_forge_pop(forge, &put);
    return whole;
}
