// The VST3 editor ABI as ZE710 uses it (published VST 3.7 interfaces,
// Linux x86-64): the plug-in's view, the host's frame around it, and the
// host's run loop that Linux hosts offer through the frame (timers and file
// descriptors served on the host's UI thread).
#pragma once

#include "vst3/vst3_base.h"

namespace vst3 {

// The platform type of an X11 parent: `parent` is an X window id.
constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
};

class IPlugFrame;

class IPlugView : public FUnknown {
public:
    virtual tresult isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult attached(void* parent, FIDString type) = 0;
    virtual tresult removed() = 0;
    virtual tresult onWheel(float distance) = 0;
    virtual tresult onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult getSize(ViewRect* size) = 0;
    virtual tresult onSize(ViewRect* newSize) = 0;
    virtual tresult onFocus(TBool state) = 0;
    virtual tresult setFrame(IPlugFrame* frame) = 0;
    virtual tresult canResize() = 0;
    virtual tresult checkSizeConstraint(ViewRect* rect) = 0;
    static constexpr Uid iid = make_uid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);

protected:
    ~IPlugView() = default;
};

class IPlugFrame : public FUnknown {
public:
    // The host resizes its window, then calls the view's onSize.
    virtual tresult resizeView(IPlugView* view, ViewRect* newSize) = 0;
    static constexpr Uid iid = make_uid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);

protected:
    ~IPlugFrame() = default;
};

namespace linux_ui {

using FileDescriptor = int;
using TimerInterval = uint64;  // milliseconds

class IEventHandler : public FUnknown {
public:
    virtual void onFDIsSet(FileDescriptor fd) = 0;
    static constexpr Uid iid = make_uid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);

protected:
    ~IEventHandler() = default;
};

class ITimerHandler : public FUnknown {
public:
    virtual void onTimer() = 0;
    static constexpr Uid iid = make_uid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);

protected:
    ~ITimerHandler() = default;
};

class IRunLoop : public FUnknown {
public:
    virtual tresult registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
    virtual tresult unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult registerTimer(ITimerHandler* handler, TimerInterval milliseconds) = 0;
    virtual tresult unregisterTimer(ITimerHandler* handler) = 0;
    static constexpr Uid iid = make_uid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);

protected:
    ~IRunLoop() = default;
};

}  // namespace linux_ui

}  // namespace vst3
