// ze710-lv2-ttl: writes one Turtle file of the LV2 bundle from its template
// (lv2/*.ttl.in), so that port ranges, defaults and presets come from the
// code's own laws and program table and cannot drift from the VST 2 plug-in.
//
//   ze710-lv2-ttl TEMPLATE OUT
//
// Every @key@ in the template (lower-case letters, digits, '_' and '.') is
// replaced:
//   @uri@ @version@ @minor@ @micro@   plug-in URI and product version
//   @SYMBOL.min@ @SYMBOL.max@ @SYMBOL.default@
//                                     a control port's range and default in
//                                     real units (the law at 0, 1, default)
//   @presets@ @preset_manifest@       the factory presets in full (values and
//                                     program), and their entries in the
//                                     bundle's manifest
//   @atom_bytes@                      the atom ports' minimum buffer size
// Defaults and preset values are printed with nine significant digits, so
// that each reads back as the very float the VST 2 plug-in hands to the
// engine. An unknown key or
// an unreadable file: one line on stderr and exit status 1.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "lv2/ze710_lv2_ports.h"
#include "model/eq_programs.h"
#include "model/ze710_version.h"

namespace {

// Turtle decimal of v with `digits` significant digits; nine read back as
// the same float.
std::string number(float v, int digits = 9)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*g", digits, static_cast<double>(v));
    std::string s = buf;
    if (s.find_first_of(".e") == std::string::npos)
        s += ".0";
    return s;
}

// "05 Low End Boost" -> "preset-05-low-end-boost"
std::string preset_uri(const char* name)
{
    std::string s = std::string(ZE710_LV2_URI) + "#preset-";
    for (const char* c = name; *c; ++c)
        s += std::isalnum(static_cast<unsigned char>(*c)) ? static_cast<char>(std::tolower(*c)) : '-';
    return "<" + s + ">";
}

const std::string kPluginUri = std::string("<") + ZE710_LV2_URI + ">";

std::string factory_presets(bool manifest)
{
    std::string out;
    for (int program = kEqNumUserPrograms; program < kEqNumPrograms; ++program) {
        EqProgramValues values;
        char name[64];
        eq_program(program, &values, name, sizeof name);
        out += preset_uri(name) + "\n    a pset:Preset ;\n    lv2:appliesTo " + kPluginUri + " ;\n";
        if (manifest) {
            out += "    rdfs:seeAlso <presets.ttl> .\n\n";
            continue;
        }
        out += "    rdfs:label \"" + std::string(name) + "\" ;\n    state:state [\n        <" ZE710_LV2_PROGRAM_URI
               "> \"" + std::to_string(program) + "\"^^xsd:int\n    ] ;\n    lv2:port ";
        for (int p = 0; p < kEqNumSoundParams; ++p) {
            out += std::string(p ? " , " : "") + "[\n        lv2:symbol \"" + kZe710Lv2ControlSymbols[p] +
                   "\" ;\n        pset:value " + number(eq_physical_of(p, values.v[p])) + "\n    ]";
        }
        out += " .\n\n";
    }
    return out;
}

std::map<std::string, std::string> substitutions()
{
    std::map<std::string, std::string> keys = {
        {"uri", ZE710_LV2_URI},
        {"version", ZE710_VERSION_STRING},
        {"minor", std::to_string(ZE710_VERSION_MINOR)},
        {"micro", std::to_string(ZE710_VERSION_PATCH)},
        {"presets", factory_presets(false)},
        {"atom_bytes", std::to_string(kZe710Lv2AtomPortBytes)},
        {"preset_manifest", factory_presets(true)},
    };
    for (int p = 0; p < kEqNumParams; ++p) {
        const std::string symbol = kZe710Lv2ControlSymbols[p];
        // The law's ends in six digits, as hosts show a range: 200 Hz, not
        // the 199.999969 Hz that the law in single precision gives at 0.
        keys[symbol + ".min"] = number(eq_physical_of(p, 0.0f), 6);
        keys[symbol + ".max"] = number(eq_physical_of(p, 1.0f), 6);
        keys[symbol + ".default"] = number(eq_physical_of(p, eq_default_of(p)));
    }
    return keys;
}

bool is_key_char(char c)
{
    return std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '_' ||
           c == '.';
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: ze710-lv2-ttl TEMPLATE OUT\n");
        return 1;
    }
    std::ifstream in(argv[1]);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        std::fprintf(stderr, "ze710-lv2-ttl: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::map<std::string, std::string> keys = substitutions();
    const std::string t = text.str();
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        size_t end = i + 1;
        while (t[i] == '@' && end < t.size() && is_key_char(t[end]))
            ++end;
        if (t[i] != '@' || end == i + 1 || end >= t.size() || t[end] != '@') {
            out += t[i];  // not a key: "@prefix" and the like
            continue;
        }
        const std::string key = t.substr(i + 1, end - i - 1);
        const auto found = keys.find(key);
        if (found == keys.end()) {
            std::fprintf(stderr, "ze710-lv2-ttl: %s: unknown key @%s@\n", argv[1], key.c_str());
            return 1;
        }
        out += found->second;
        i = end;
    }
    std::ofstream file(argv[2], std::ios::trunc);
    file << out;
    file.close();
    if (!file) {
        std::fprintf(stderr, "ze710-lv2-ttl: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
