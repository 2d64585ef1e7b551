// The plug-in's editor as the effect sees it. This is the effect-facing
// surface only: the notifications the effect sends and the host's editor
// opcodes. The window, its widgets and the GUI thread are not built yet, so
// open and close do nothing and getRect reports the unscaled panel rect that
// applies whenever no GUI engine exists.
#pragma once

#include <atomic>

#include "plugin_interface/AEffEditor.h"
#include "plugin_interface/AudioEffect.h"

class CEditorGUI : public AEffEditor {
public:
    // Host thread, from the effect's constructor; touches no display.
    explicit CEditorGUI(AudioEffect* effect);
    ~CEditorGUI() override;

    AudioEffect* getEffect() override { return effect; }

    // Host thread. Stores the address of the editor rect through rect (when
    // rect is not null) and returns false, as the framework expects of this
    // editor.
    bool getRect(ERect** rect) override;
    // Host thread. parent is the host's X window id. Returns false.
    bool open(void* parent) override;
    void close() override;

    // Notifications from the effect, host thread or GUI thread. setParameter
    // runs under the effect's mutex and must not call back into the effect's
    // setParameter. index is the parameter index 0 to 8, value normalised.
    void setParameter(int index, float value);
    void setProgram(int index);
    // value > 0.5 means the host has the effect enabled.
    void setHostEffEnable(float value);
    // Copies at most 255 characters of name into the window title.
    void set_plugin_name(char* name);

    void resizeParentWindow(int /*width*/, int /*height*/) {}

    static constexpr int kPanelWidth = 144;   // panel pixels, unscaled
    static constexpr int kPanelHeight = 510;
    static constexpr int kNumMirroredParams = 8;
    static constexpr int kUiSizeIndex = 8;

private:
    ERect rect{};
    // Mirror of the eight audio parameters in the order HF gain, LF gain,
    // mid gain, HF freq, LF freq, mid freq, mid bandwidth, bypass; written
    // by the effect's threads, read later by the GUI thread.
    std::atomic<float> parameter_mirror[kNumMirroredParams];
    std::atomic<float> ui_size{0.0f};
    std::atomic<int> current_program{0};
    std::atomic<bool> host_bypass{false};
    char window_title[256];
};
