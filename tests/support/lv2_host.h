#pragma once
// An LV2 host's own parts, for the tests of the two LV2 modules: a URID map,
// atom port buffers, and the patch messages the UI and the plug-in exchange
// (lv2/ze710_lv2_messages.h; the real hosts' tests check them against jalv
// and Ardour).

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "lv2/ze710_lv2_messages.h"

namespace test_support {

class urid_map {
public:
    urid_map();
    urid_map(const urid_map&) = delete;
    urid_map& operator=(const urid_map&) = delete;
    LV2_URID map(const char* uri);
    const LV2_Feature* feature() const { return &m_feature; }
    const Ze710Urids& urids() const { return m_urids; }

private:
    std::mutex m_lock;
    std::vector<std::string> m_uris;
    LV2_URID_Map m_map;
    LV2_Feature m_feature;
    Ze710Urids m_urids;
};

// A message as the test reads it: a patch:Get, or a patch:Put whose body
// holds the bank property as an atom:Chunk (its bytes), or anything else
// (neither).
struct patch_message {
    bool get = false;
    std::vector<uint8_t> bank;
};
patch_message read_patch(urid_map& m, const LV2_Atom* atom);

// A message as an atom (header and body): patch:Get, or with a bank the
// patch:Put of it.
std::vector<uint8_t> patch_message_atom(urid_map& m, const std::vector<uint8_t>* bank = nullptr);
inline std::vector<uint8_t> patch_get(urid_map& m) { return patch_message_atom(m); }
inline std::vector<uint8_t> patch_put_bank(urid_map& m, const std::vector<uint8_t>& chunk)
{
    return patch_message_atom(m, &chunk);
}

// An atom sequence port: filled with events for an input, or handed out
// empty with its capacity for an output, as a host does before run().
struct atom_port {
    alignas(8) uint8_t bytes[8192];
    LV2_Atom_Sequence* sequence() { return reinterpret_cast<LV2_Atom_Sequence*>(bytes); }
    void input(urid_map& m, const std::vector<std::vector<uint8_t>>& events = {});
    void output(urid_map& m);
    std::vector<patch_message> messages(urid_map& m);
};

}  // namespace test_support
