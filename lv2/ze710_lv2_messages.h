// The messages that the UI and the plug-in exchange on their atom ports,
// in the LV2 Patch vocabulary, and the URIDs both need for them and for the
// state. The bank travels as the VST 2 bank chunk's bytes (model/eq_chunk.h)
// in an atom:Chunk:
//   UI -> plug-in   patch:Get                    send me the bank
//                   patch:Put [ ze710:bank Chunk ]  the UI's bank: a program
//                                                selected, the editor resized
//   plug-in -> UI   patch:Put [ ze710:bank Chunk ]  the answer to a Get, and
//                                                after a state was restored
// (patch:Put with a body rather than patch:Set: hosts read a patch:Set from
// the plug-in as a change of one of its declared parameters, and Ardour
// warns of each that names none.)
// Control values never travel here: the control ports carry them.
//
// Pure functions on caller-owned memory: no allocation, no lock, no system
// call (run() uses them); reading is bounded by the size the caller knows.
#pragma once

#include <lv2/atom/forge.h>
#include <lv2/urid/urid.h>

#include <cstddef>
#include <cstdint>

struct Ze710Urids {
    LV2_URID atom_Object = 0, atom_Chunk = 0, atom_Int = 0, atom_Long = 0, atom_URID = 0,
             atom_Sequence = 0, atom_eventTransfer = 0;
    LV2_URID patch_Get = 0, patch_Put = 0, patch_body = 0;
    LV2_URID bank = 0, program = 0;

    // Host's instantiation thread. False (and nothing mapped) without a map.
    bool map_all(const LV2_URID_Map* map);
    bool mapped() const { return bank != 0; }
};

enum class Ze710Message { kOther, kGet, kBank };

// Reads one message atom of at most `bound` bytes (header included). For
// kBank, *chunk points at the 528 bytes of the bank chunk inside the atom;
// whether they make a valid bank is the caller's check (eq_chunk_read_bank).
// Anything malformed, too large for its bound or of another kind is kOther.
Ze710Message ze710_read_message(const LV2_Atom* atom, size_t bound, const Ze710Urids& u, const uint8_t** chunk);

// Writes the message into the forge's buffer at its current position (in a
// sequence, after the caller's event time). False when it does not fit.
bool ze710_write_get(LV2_Atom_Forge* forge, const Ze710Urids& u);
bool ze710_write_bank(LV2_Atom_Forge* forge, const Ze710Urids& u, const uint8_t* chunk);
