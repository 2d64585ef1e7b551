// Ze710Clap: clap.state. The state is the VST 2 bank chunk (README "State
// chunk format"), so that a state saved by any edition restores in any other.
#include <vector>

#include "clap/Ze710Clap.h"
#include "editor/CEditorGUI.h"

namespace {

// A later minor version of the chunk only appends to the payload; a stream
// longer than this is no chunk of ours.
constexpr size_t kMaxStateBytes = 64 * 1024;
constexpr size_t kReadPieceBytes = 4096;

}  // namespace

bool Ze710Clap::save(const clap_ostream_t* stream)
{
    if (!stream || !stream->write)
        return false;
    // The audio thread's latest changes belong to the current program.
    sync_from_engine();
    uint8_t chunk[eq_chunk::kBankBytes];
    const size_t size = bank.write_chunk(false, chunk);
    for (size_t done = 0; done < size;) {
        const int64_t n = stream->write(stream, chunk + done, size - done);
        if (n <= 0 || static_cast<uint64_t>(n) > size - done)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool Ze710Clap::load(const clap_istream_t* stream)
{
    if (!stream || !stream->read)
        return false;
    // 1. The whole stream, in the host's pieces, up to its end.
    std::vector<uint8_t> bytes;
    for (;;) {
        const size_t at = bytes.size();
        bytes.resize(at + kReadPieceBytes);
        const int64_t n = stream->read(stream, bytes.data() + at, kReadPieceBytes);
        if (n < 0 || static_cast<uint64_t>(n) > kReadPieceBytes)
            return false;
        bytes.resize(at + static_cast<size_t>(n));
        if (n == 0)
            break;
        if (bytes.size() > kMaxStateBytes)
            return false;
    }
    // 2. Checked whole before anything changes.
    if (!bank.read_chunk(bytes.data(), bytes.size(), false))
        return false;

    // 3. The current program's values for the engine, the host and the editor.
    for (int slot = 0; slot < kEqNumSoundParams; ++slot)
        plain[slot].store(clap_plain_of(slot, bank.value(slot)));
    if (active.load())
        to_engine.fetch_or(kClapSoundSlotBits);
    for (int index = 0; index < kEqNumParams; ++index)
        editor_gui->setParameter(index, bank.value(index));
    editor_gui->setProgram(bank.current_program());
    editor_gui->follow_ui_size();
    if (host_params && host_params->rescan)
        host_params->rescan(host, CLAP_PARAM_RESCAN_VALUES);
    return true;
}
