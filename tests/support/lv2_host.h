#pragma once
// An LV2 host's own parts, for the tests of the two LV2 modules: a URID map,
// atom port buffers, and the patch messages the UI and the plug-in exchange,
// written and read with the LV2 atom headers (not with the modules' code).

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace test_support {

class urid_map {
public:
    urid_map();
    urid_map(const urid_map&) = delete;
    urid_map& operator=(const urid_map&) = delete;
    LV2_URID map(const char* uri);
    const LV2_Feature* feature() const { return &m_feature; }

private:
    std::mutex m_lock;
    std::vector<std::string> m_uris;
    LV2_URID_Map m_map;
    LV2_Feature m_feature;
};

// A message as the test reads it: a patch:Get, or a patch:Put whose body
// holds the bank property as an atom:Chunk (its bytes), or anything else
// (neither).
struct patch_message {
    bool get = false;
    std::vector<uint8_t> bank;
};
patch_message read_patch(urid_map& m, const LV2_Atom* atom);

// The messages as atoms (header and body).
std::vector<uint8_t> patch_get(urid_map& m);
std::vector<uint8_t> patch_put_bank(urid_map& m, const std::vector<uint8_t>& chunk);

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
